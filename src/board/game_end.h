// The rules that end or draw a game.
#pragma once

#include <cstdint>
#include <string_view>

#include "board/position.h"

namespace varnu {

enum DrawCode { NoDraw = 0, FiftyMoveDraw = 3, MaterialDraw = 4, RepetitionDraw = 5 };

struct DrawResult {
  bool drawn;  // drawn for the search: fifty moves, bare material, or any repetition
  DrawCode code;
};

// Draw rules that depend on the position alone. Records the repetition count of the current
// position in its PlyRecord.
DrawResult checkDraw(Position& pos);

// How a game stands in the position: over by checkmate, stalemate or insufficient material, or
// not over (a draw by fifty moves or repetition is claimed, not forced).
enum class GameEnd : uint8_t { None, WhiteMates, BlackMates, Stalemate, InsufficientMaterial };

GameEnd gameEnd(Position& pos);

// The result line of a game that is over, as "1-0 {White wins by checkmate}"; empty for None.
std::string_view gameEndText(GameEnd end);

}  // namespace varnu
