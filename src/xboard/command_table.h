// The protocol's command table: names, argument counts and whether a command stops the search.
#pragma once

#include <span>
#include <string_view>
#include <vector>

namespace varnu {

class XboardFrontEnd;

using Args = std::vector<std::string_view>;
using Handler = bool (XboardFrontEnd::*)(const Args&);

// What a command does to a running search before its handler runs: nothing, stop it with no
// move played, end it with the best move found so far played, or wait for the engine's own move.
// Two concern pondering: StopsPonder stops a ponder search only (after its handler, which may
// forbid the next one), and StopsUnlessHit keeps a ponder search whose expected reply the
// command plays and stops any other search.
enum class SearchEffect { Runs, Stops, MovesNow, AwaitsMove, StopsPonder, StopsUnlessHit };

// The argument limit of a command that takes the rest of its line, spaces and all.
inline constexpr unsigned RestOfLine = ~0u;

struct Command {
  std::string_view name;
  Handler handler;
  unsigned minArgs;
  unsigned maxArgs;
  SearchEffect onSearch;
  // The line must be the name alone or the name and a space, not merely begin with the name.
  bool wholeWord = false;
  // The command plays on the game position, or reads it: it is refused while no valid position
  // is set (after a position was refused).
  bool needsPosition = false;
};

// The commands in lookup order.
std::span<const Command> commandTable();

// The row of a line that is a move by itself (see isMoveText).
const Command& bareMoveCommand();

// True when the line has the form of a move in coordinate notation ("e2e4", "e7e8q"), or is
// "O-O" or "O-O-O".
bool isMoveText(std::string_view line);

// The first command that the line names, or nullptr: a row's name is a prefix of the line,
// followed by the end of the line or a space for a whole-word row.
const Command* findCommand(std::string_view line);

// Cuts text at every separator; empty pieces count, and the piece after the last cut is always
// added, so an empty text gives one empty piece.
Args split(std::string_view text, char separator);

}  // namespace varnu
