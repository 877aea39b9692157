// The engine's command line: "-cores <n>" sets the number of search threads; "-quiet" keeps an
// xboard session to the protocol's own lines, for GUIs that take any line naming a square for a
// move (KDE's Knights); anything else is warned about. Both front ends read it the same way and
// report it in their own protocol.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varnu {

// One thing the command line asks, in the order given: a number of cores (1 or more), quiet, or
// else a warning, a sentence without the protocol's prefix.
struct CommandLineItem {
  int32_t cores = 0;
  std::string warning;
  bool quiet = false;
};

std::vector<CommandLineItem> readCommandLine(int argc, const char* const* argv);

// Whether the command line asks for quiet: no comment line at all, from the first on.
bool wantsQuiet(const std::vector<CommandLineItem>& items);

}  // namespace varnu
