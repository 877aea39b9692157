// The rules that end or draw a game.
#pragma once

#include "board/output.h"
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

// The front end's end-of-game test: prints the result line for checkmate, stalemate or
// insufficient material and returns true when the game is over.
bool checkGameEnd(Position& pos, Output& out);

}  // namespace varnu
