// "genfens", the command by which test farms (OpenBench) have the engine draw the start positions
// of their games: "genfens <n> seed <s> book <None|file.epd>", each position printed as
// "info string genfens <FEN>".
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/output.h"

namespace varnu {

// The positions' bounds: a position is printed only when its side to move is not in check, has a
// legal move, and a search of GenfensDepth plies scores it within GenfensScoreBound centipawns
// of equal for either side (no mate, no side a piece up).
inline constexpr int GenfensDepth = 5;
inline constexpr int GenfensScoreBound = 150;

// Runs the words of one genfens command (its own name first). The same seed and book give the
// same positions on every machine. Returns 0, or 1 after an "info string error: ..." line for
// words it cannot use or a book it cannot read.
int runGenfens(Output& out, std::string_view command);

}  // namespace varnu
