#include "eval/score_pair.h"

#include <algorithm>

#include "board/position.h"
#include "eval/evaluate.h"

namespace varnu {

int gamePhase(const Position& pos) {
  int n = 0;
  for (const PieceList& list : pos.pieceList)
    n += list.typeCount[Knight] + list.typeCount[Bishop] + 2 * list.typeCount[Rook] +
         4 * list.typeCount[Queen];
  return std::min(n, MaxPhase);
}

int materialPstScore(const Position& pos, int phase) {
  int w = blend(pos.materialPst[White], phase);
  int b = blend(pos.materialPst[Black], phase);
  const int bonus = blend(sideToMoveBonus, phase);
  if (pos.sideToMove == White) return w + bonus - b;
  return b + bonus - w;
}

int materialPstScore(const Position& pos, int phase, EvalBreakdown& breakdown) {
  const Record record{breakdown};
  record.add(RowMaterialPst, White, pos.materialPst[White]);
  record.add(RowMaterialPst, Black, pos.materialPst[Black]);
  record.add(RowSideToMove, pos.sideToMove, sideToMoveBonus);
  return materialPstScore(pos, phase);
}

}  // namespace varnu
