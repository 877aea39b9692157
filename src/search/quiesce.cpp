// The quiescence search: captures and queen promotions from a stand-pat score until the position
// is quiet, with MVV/LVA order, the losing-capture test and a delta test.
#include <algorithm>

#include "board/game_end.h"
#include "board/make_move.h"
#include "board/movegen.h"
#include "eval/evaluate.h"
#include "search/move_order.h"
#include "search/searcher.h"

namespace varnu {

int Searcher::quiesce(int alpha, int beta, int ply, PVLine& line) {
  Position& pos = position;
  if (inCheck(pos)) return searchInCheck(alpha, beta, ply, 1, line);
  nodes.add();
  qsNodes.add();
  if (ply > selDepth) selDepth = ply;
  if (timedOut()) return StoppedScore;
  if (checkDraw(pos).drawn) return 0;

  const MateWindow w = mateDistanceWindow(alpha, beta, ply, false);
  alpha = w.alpha;
  beta = w.beta;
  if (alpha >= beta) return alpha;

  int best = evaluate(pos, alpha, beta, *evalCache);
  if (best >= beta) return best;
  // Near the end of the history stack the stand-pat score is final.
  if (pos.historyCount >= MaxHistory - 1) return best;

  MoveList list;
  generateCaptures(pos, list);
  for (uint32_t i = 0; i < list.count; ++i)
    list.entries[i].score = int16_t(captureOrderScore(pos, list.entries[i].move).score);

  PVLine child;
  for (uint32_t k = 0; const MoveEntry* entry = pickNextMove(k, list);) {
    const Move m = entry->move;
    ++k;
    const LosingTest test = isLosingCapture(pos, m);
    if (test.losing) continue;
    if (best + test.gain <= alpha) continue;  // even winning the piece cannot reach alpha
    child.clear();
    UndoRecord undo;
    makeMove(pos, m, undo);
    const int v = -quiesce(-beta, -std::max(alpha, best), ply + 1, child);
    unmakeMove(pos, m, undo);
    if (stopped()) return StoppedScore;
    if (v >= beta) {
      qsCutoffs.add();
      if (k == 1) qsCutoffsOnFirstMove.add();
      return v;
    }
    if (v > best) {
      best = v;
      if (v > alpha) appendPV(m, child, line);
    }
  }
  return best;
}

}  // namespace varnu
