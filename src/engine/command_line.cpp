#include "engine/command_line.h"

#include <string_view>

#include "board/number.h"

namespace varnu {

std::vector<CommandLineItem> readCommandLine(int argc, const char* const* argv) {
  std::vector<CommandLineItem> items;
  auto warn = [&](std::string text) { items.push_back({0, std::move(text)}); };
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    if (option == "-quiet") {
      items.push_back({0, "", true});
      continue;
    }
    if (option != "-cores") {
      warn("warning: found unknown command line option \"" + std::string(option) + "\"");
      continue;
    }
    if (i + 1 >= argc) {
      warn("warning: missing argument for command line option \"-cores\"");
      continue;
    }
    const int32_t n = parseNumber(argv[++i]);
    if (n >= 1)
      items.push_back({n, ""});
    else
      warn("warning: found bad argument \"" + std::to_string(n) +
           "\" for command line option \"-cores\", must be a positive number");
  }
  return items;
}

bool wantsQuiet(const std::vector<CommandLineItem>& items) {
  for (const CommandLineItem& item : items)
    if (item.quiet) return true;
  return false;
}

}  // namespace varnu
