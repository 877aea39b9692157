// The engine's command line: "-cores <n>" sets the number of search threads; anything else is
// warned about. Both front ends read it the same way and report it in their own protocol.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varnu {

// One thing the command line asks, in the order given: a number of cores (1 or more), or else
// a warning, a sentence without the protocol's prefix.
struct CommandLineItem {
  int32_t cores = 0;
  std::string warning;
};

std::vector<CommandLineItem> readCommandLine(int argc, const char* const* argv);

}  // namespace varnu
