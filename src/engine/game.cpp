#include "engine/game.h"

#include <cassert>

namespace varnu {

void GameRecord::appendAndMake(Move m) {
  assert(count < Capacity);
  moves[count] = m;
  makeMove(position, m, undo[count]);
  ++count;
  excluded.count = 0;
}

bool GameRecord::takeBack(int n) {
  if (count < n) return false;
  for (int i = 0; i < n; ++i) {
    --count;
    unmakeMove(position, moves[count], undo[count]);
  }
  excluded.count = 0;
  return true;
}

void GameRecord::empty() {
  count = 0;
  for (Move& m : moves) m = NullMove;
  for (UndoRecord& u : undo) u = UndoRecord{};
  excluded.count = 0;
}

}  // namespace varnu
