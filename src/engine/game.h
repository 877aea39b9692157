// The game: its position and the moves played since it was set up.
#pragma once

#include "board/make_move.h"
#include "board/movegen.h"
#include "board/position.h"

namespace varnu {

struct GameRecord {
  static constexpr int Capacity = 1023;

  Position position;
  int count = 0;
  Move moves[Capacity] = {};
  UndoRecord undo[Capacity] = {};
  // Root moves the user has excluded from the search of this position; every new position
  // starts with none.
  MoveList excluded;

  // Plays a legal move on the position and records it.
  void appendAndMake(Move m);
  // Takes back the last n moves; false, with nothing changed, when fewer were played.
  bool takeBack(int n);
  // Forgets the moves; the position stays.
  void empty();
};

}  // namespace varnu
