// The command-line benchmark, "varnu bench [depth]", run instead of the protocol.
#pragma once

#include "engine/output.h"

namespace varnu {

// Searches the bench positions to the depth (BenchDefaultDepth when the arguments are empty) on
// one thread with a fresh table, printing a line per position and, last, the line
// "<nodes> nodes <nps> nps" that engine-testing tools read. Returns the exit status: 0, or 1
// for a bad argument.
int runBench(Output& out, int argc, const char* const* argv);

}  // namespace varnu
