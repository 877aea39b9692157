// The protocol's command table: names, argument counts and whether a command stops the search.
#pragma once

#include <span>
#include <string_view>
#include <vector>

namespace varnu {

class Engine;

using Args = std::vector<std::string_view>;
using Handler = bool (Engine::*)(const Args&);

struct Command {
  std::string_view name;
  Handler handler;
  unsigned minArgs;
  unsigned maxArgs;
  bool stopsSearch;
};

// The 27 commands in lookup order.
std::span<const Command> commandTable();

// The first command whose name is a prefix of the line, or nullptr.
const Command* findCommand(std::string_view line);

// Cuts text at every separator; empty pieces count, and the piece after the last cut is always
// added, so an empty text gives one empty piece.
Args split(std::string_view text, char separator);

}  // namespace varnu
