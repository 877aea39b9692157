// Iterative deepening with aspiration windows, the root searches, and the master's stop rules.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "board/make_move.h"
#include "board/move.h"
#include "board/movegen.h"
#include "eval/evaluate.h"
#include "search/move_order.h"
#include "search/searcher.h"
#include "search/shared_iteration.h"

namespace varnu {

namespace {

constexpr int MaxDepth = 100;
constexpr int AspirationWindow = 30;

bool listed(const MoveList& list, Move m) {
  for (uint32_t i = 0; i < list.count; ++i)
    if (sameMove(list.entries[i].move, m)) return true;
  return false;
}

}  // namespace

void keepAllowedMoves(const SearchLimits& limits, MoveList& list) {
  auto keep = [&](auto allowed) {
    uint32_t kept = 0;
    for (uint32_t i = 0; i < list.count; ++i)
      if (allowed(list.entries[i].move)) list.entries[kept++] = list.entries[i];
    list.count = kept;
  };
  if (limits.searchMoves.count > 0) keep([&](Move m) { return listed(limits.searchMoves, m); });
  if (limits.excluded.count == 0) return;
  const MoveList all = list;
  keep([&](Move m) { return !listed(limits.excluded, m); });
  if (list.count == 0) list = all;
}

Window aspirationWindow(int bestScore, int lowerMate, int upperMate) {
  Window w{std::max(bestScore - AspirationWindow, lowerMate - 1),
           std::min(bestScore + AspirationWindow, upperMate + 1)};
  if (w.alpha >= w.beta) {
    if (bestScore > 0)
      w.alpha = w.beta - 1;
    else
      w.beta = w.alpha + 1;
  }
  return w;
}

Move Searcher::iterate(const Position& game) {
  position = game;
  resetCounters();
  completedDepth = 0;
  iterationDepth_ = MaxDepth + 1;  // nothing to take over before the first iteration
  overtaken_ = false;
  const bool noResult = !limits.timed(game.sideToMove) && !limits.moveWanted;
  tableLimit_ = tablebases ? std::min(limits.tablebases.probeLimit, tablebases->largest()) : 0;
  bestLine.clear();
  bestScore = -MateScore;
  Position& pos = position;

  MoveList rootMoves;
  generateMoves(pos, inCheck(pos), rootMoves);
  keepAllowedMoves(limits, rootMoves);
  const int rootMoveCount = int(rootMoves.count);
  for (int i = 0; i < std::min(limits.multiPV, rootMoveCount); ++i) lines_[i] = RootLine{};
  lineCount_ = 0;
  scoreMoves(pos, NullMove, rootMoves);
  // Pre-ordering: the first best move is the one with the best static evaluation.
  for (uint32_t k = 0; const MoveEntry* entry = pickNextMove(k, rootMoves); ++k) {
    const Move m = entry->move;
    UndoRecord undo;
    makeMove(pos, m, undo);
    const int v = -evaluate(pos, -MateScore, MateScore);
    unmakeMove(pos, m, undo);
    if (v > bestScore) {
      bestScore = v;
      appendPV(m, PVLine{}, bestLine);
    }
  }

  // Every worker searches every depth: the others keep to the master's iterations, where the
  // moves each leaves to the one already searching it (see BusyMoves) split the tree between
  // them. Measured with two threads, this reached the master's depth sooner than the others
  // running ahead on alternate depths, which searched a tree of their own beside the master's.
  bool easyFlags[MaxDepth + 1] = {};
  PVLine line{};
  for (int depth = 1; depth <= MaxDepth; ++depth) {
    if (stopped()) break;
    const int side = pos.sideToMove;
    const int lowerMate =
        pos.pieceList[side ^ 1].pieceCount == 1 ? 0 : 2 * ((depth + 1) / 2) - MateScore;
    const int upperMate =
        pos.pieceList[side].pieceCount == 1 ? 0 : MateScore + 1 - 2 * ((depth + 2) / 2);
    const Window w = aspirationWindow(bestScore, lowerMate, upperMate);
    line = bestLine;
    if (id == 0) easyFlags[depth] = false;
    iterationDepth_ = depth;

    int v = 0;
    int lineCount = 1;
    bool mateSettled = true;
    ScoreBound bound = ScoreBound::Exact;
    if (limits.multiPV <= 1) {
      v = searchLine(depth, w, lowerMate, upperMate, line, bound);
      if (!line.empty()) {
        bestLine = line;
        bestScore = v;
      }
    } else {
      // The moves beyond the lines are tested against the last line's score, and against a
      // score short of a mate the pruning below the root's children can hide a mate as short as
      // the first line's: past the first depth (whose children are only quiesced, and see every
      // mate in one), a search of several lines ends on a mate only once the last line was a
      // mate before this depth's pass too, which then tested every move against a mate.
      const bool mateBefore = lastLineMates(rootMoveCount);
      lineCount = searchLines(depth, lowerMate, upperMate, rootMoves);
      mateSettled = depth == 1 || (mateBefore && lastLineMates(rootMoveCount));
      v = bestScore;
      line = bestLine;
    }
    if (overtaken_) {
      // Another worker completed this depth, or a deeper one, first: its line stands for this
      // iteration's.
      overtaken_ = false;
      const SharedIteration::Result r = iterations->result();
      bestLine = line = r.line;
      bestScore = v = r.score;
      bound = r.bound;
    }
    if (!stopped()) {
      completedDepth = depth;
      if (iterations && limits.multiPV <= 1) iterations->publish(depth, bestScore, bound, bestLine);
      if (id == 0 && host && limits.multiPV <= 1)
        host->reportIteration(depth, bestScore, bestLine, LineTag{1, bound});
      const int shown = limits.linesShown > 0 ? std::min(lineCount, limits.linesShown) : lineCount;
      for (int i = 0; id == 0 && host && limits.multiPV > 1 && i < shown; ++i)
        host->reportIteration(depth, lines_[i].score, lines_[i].line,
                              LineTag{i + 1, lines_[i].bound});
    }
    if (id == 0 && !stopped() &&
        (stopRulesFire(depth, rootMoveCount, upperMate, lowerMate, line, easyFlags, mateSettled) ||
         mateLimitReached())) {
      stopRequested.store(true, std::memory_order_relaxed);
    }
  }
  if (id != 0) return NullMove;
  const Move result =
      (noResult || discardResult.load(std::memory_order_relaxed) || bestLine.empty())
          ? NullMove
          : bestLine.moves[0];
  if (host) host->printStatistics();
  return result;
}

int Searcher::searchLine(int depth, Window w, int lowerMate, int upperMate, PVLine& line,
                         ScoreBound& bound) {
  // A fail-high at upperMate + 1 or above has no wider window left to be searched in, and a
  // re-search is not repeated: their cutoffs are final, so the move goes into the line.
  int v = searchRoot(depth, w.alpha, w.beta, line, upperMate + 1);
  if (!stopped()) {
    if (v >= w.beta && v < upperMate + 1) {
      w.beta = upperMate + 1;
      v = searchRoot(depth, w.alpha, w.beta, line);
    } else if (v <= w.alpha && v > lowerMate - 1) {
      w.alpha = lowerMate - 1;
      v = searchRoot(depth, w.alpha, w.beta, line);
    }
  }
  bound = v >= w.beta ? ScoreBound::Lower : v <= w.alpha ? ScoreBound::Upper : ScoreBound::Exact;
  return v;
}

int Searcher::searchLines(int depth, int lowerMate, int upperMate, const MoveList& rootList) {
  Position& pos = position;
  const bool check = inCheck(pos);
  const int count = std::min(limits.multiPV, int(rootList.count));
  if (count == 0) return 0;
  // The window spans the last iteration's lines: from below its last line's score to above its
  // first's. The first iteration searches in the full window.
  Window w{lowerMate - 1, upperMate + 1};
  if (!lines_[0].line.empty() && !lines_[count - 1].line.empty())
    w = Window{aspirationWindow(lines_[count - 1].score, lowerMate, upperMate).alpha,
               aspirationWindow(lines_[0].score, lowerMate, upperMate).beta};
  RootLine* const top = passLines_.get();
  int found = 0;
  for (;;) {
    nodes.add();
    MoveList list = rootList;
    scoreMoves(pos, NullMove, list);
    // The last iteration's lines go first, in their order.
    for (uint32_t i = 0; i < list.count; ++i)
      for (int j = 0; j < count; ++j)
        if (!lines_[j].line.empty() && sameMove(list.entries[i].move, lines_[j].line.moves[0]))
          list.entries[i].score = int16_t(32000 - j);
    const bool timing = !check && depth >= 6;
    const int32_t t0 = timing ? clockStamp() : 0;
    found = 0;
    PVLine child;
    for (uint32_t k = 0; const MoveEntry* entry = pickNextMove(k, list); ++k) {
      if (timing && k == 2) firstMovesTime = int32_t(uint32_t(clockStamp()) - uint32_t(t0));
      const Move m = entry->move;
      // Until the list is full every move is searched in the window; after that a move needs
      // to beat the last line's score, which a null window around it tells first.
      const bool full = found == count;
      const int floor = full ? std::max(w.alpha, top[count - 1].score) : w.alpha;
      // When the lines found are all mates shorter than this depth's bound, a move can only
      // show that it beats the last of them.
      int beta = floor < w.beta ? w.beta : floor + 1;
      child.clear();
      UndoRecord undo;
      makeMove(pos, m, undo);
      int v = searchChild(floor, beta, 1, depth - 1, full ? 2 : 1, child);
      if (!stopped() && v >= beta && beta < upperMate + 1) {
        // A fail-high opens the window's top to the mate bound, for this move and the rest.
        w.beta = beta = upperMate + 1;
        child.clear();
        v = searchChild(floor, beta, 1, depth - 1, 1, child);
      }
      if (!stopped() && v >= beta && v > MateThreshold) {
        // A mate beyond the window (this depth's mate bound, or the last line's mate) is only a
        // bound, which would show the line with a longer mate than its own: the move is searched
        // once more up to the shortest mate, for its exact length.
        beta = MateScore;
        child.clear();
        v = searchChild(floor, beta, 1, depth - 1, 1, child);
      }
      unmakeMove(pos, m, undo);
      if (stopped()) break;
      if (full && v <= floor) continue;
      // The new line takes the free slot at the end, or the last line's, which it beat; ties
      // keep the order of search.
      int at = found < count ? found : count - 1;
      while (at > 0 && top[at - 1].score < v) {
        top[at] = top[at - 1];
        --at;
      }
      top[at].line.clear();
      appendPV(m, child, top[at].line);
      top[at].score = v;
      top[at].bound = v >= beta    ? ScoreBound::Lower
                      : v <= floor ? ScoreBound::Upper
                                   : ScoreBound::Exact;
      if (found < count) ++found;
    }
    // Below the window the lines' order is unknown: the pass is repeated with its bottom open
    // to the mate bound.
    if (stopped() || found == 0 || top[found - 1].bound != ScoreBound::Upper ||
        w.alpha <= lowerMate - 1)
      break;
    w.alpha = lowerMate - 1;
  }
  // A stopped pass's best line counts when its score is not merely an upper bound: the last
  // iteration's best move is searched first, so any other on top has beaten it.
  if (found > 0 && (!stopped() || top[0].bound != ScoreBound::Upper)) {
    const PVLine& best = top[0].line;
    const bool changed = !std::equal(best.moves, best.moves + best.length, bestLine.moves,
                                     bestLine.moves + bestLine.length, sameMove);
    bestLine = best;
    bestScore = top[0].score;
    // Only completed depths report their lines, so a stopped pass reports a new best line of its
    // own: the move played and its expected reply are then those of the last line 1 shown.
    if (stopped() && changed && id == 0 && host && !discardResult.load(std::memory_order_relaxed))
      host->reportThinking(depth, bestScore, bestLine, LineTag{1, top[0].bound});
  }
  if (stopped()) return 0;
  if (id == 0) easyMove = found > 1 && top[0].score >= top[1].score + 200;
  const MateWindow limits = mateDistanceWindow(w.alpha, w.beta, 0, check);
  table->store(pos, top[0].score, 0, limits.lowerLimit, limits.upperLimit, w.alpha, w.beta, depth,
               top[0].line.moves[0]);
  for (int i = 0; i < found; ++i) lines_[i] = top[i];
  lineCount_ = found;
  return found;
}

bool Searcher::mateLimitReached() const {
  const int64_t plies = 2 * int64_t(limits.mate) - 1;
  return limits.mate > 0 && bestScore > MateThreshold && MateScore - bestScore <= plies;
}

bool Searcher::lastLineMates(int rootMoveCount) const {
  const int wanted = std::min(limits.multiPV, rootMoveCount);
  return wanted > 0 && lineCount_ == wanted && std::abs(lines_[wanted - 1].score) > MateThreshold;
}

bool Searcher::stopRulesFire(int depth, int rootMoveCount, int upperMate, int lowerMate,
                             const PVLine& line, bool* easyFlags, bool mateSettled) {
  // While pondering no time rule applies. After a ponder hit the easy-move rule and the rule
  // of the next iteration count the time since the hit against the budget computed there: the
  // time pondered is a bonus, so a hit plays as a fresh move would, only from a deeper search.
  const bool clock = timer && timer->budgeted();
  easyFlags[depth] = easyMove;
  if (depth == 1 && rootMoveCount == 1) {
    noteStopRule(StopRule::ForcedMove);
    return true;
  }
  if (depth >= 6) {
    const int32_t spent = clock ? timer->spent() : 0;
    const int32_t maxTime = clock ? timer->maxTime() : 0;
    if (easyMove && easyFlags[depth - 1] && !line.empty() &&
        sameMove(line.moves[0], bestLine.moves[0]) && clock && spent >= maxTime / 8) {
      noteStopRule(StopRule::EasyMove);
      return true;
    }
    if (clock && int64_t(maxTime) - spent < (3 * int64_t(firstMovesTime)) / 2) {
      noteStopRule(StopRule::NoTimeForIteration);
      return true;
    }
  }
  // A mate shorter than this depth's bound counts as well: pruning can hide a short mate until a
  // deeper iteration, which then finds it beyond its bound.
  if (bestScore >= upperMate && (mateSettled || upperMate == 0)) {
    if (upperMate == 0)
      noteStopRule(StopRule::ForcedDraw);
    else
      noteStopRule(StopRule::ForcedMate, MateScore - bestScore);
    return true;
  }
  if (bestScore <= lowerMate && lowerMate < 0 && mateSettled) {
    noteStopRule(StopRule::GettingMated, bestScore + MateScore);
    return true;
  }
  return depth == limits.depth;
}

int Searcher::searchRoot(int depth, int alpha, int beta, PVLine& line, int keepFrom) {
  return rootMoves(depth, alpha, beta, line, keepFrom, inCheck(position));
}

int Searcher::rootMoves(int depth, int alpha, int beta, PVLine& line, int keepFrom, bool inCheck) {
  Position& pos = position;
  nodes.add();
  const MateWindow w = mateDistanceWindow(alpha, beta, 0, inCheck);
  alpha = w.alpha;
  beta = w.beta;
  auto store = [&](int score, Move move) {
    table->store(pos, score, 0, w.lowerLimit, w.upperLimit, alpha, beta, depth, move);
  };
  if (alpha >= beta) {
    store(alpha, NullMove);
    return alpha;
  }
  int best = -MateScore, second = -MateScore;
  if (id == 0) easyMove = false;

  MoveList list;
  generateMoves(pos, inCheck, list);
  keepAllowedMoves(limits, list);
  scoreMoves(pos, NullMove, list);
  if (!line.empty()) {
    for (uint32_t i = 0; i < list.count; ++i) {
      if (sameMove(list.entries[i].move, line.moves[0])) {
        list.entries[i].score = 32000;  // the previous best move goes first
        break;
      }
    }
  }
  // The time of the first two moves tells whether another iteration can finish. It is read
  // from the clock's stamps rather than the watch, which stands still while the search ponders.
  const bool timing = !inCheck && depth >= 6;
  const int32_t t0 = timing ? clockStamp() : 0;
  PVLine child;
  const uint64_t key = pos.key();
  uint32_t k = 0;
  int cutoff = 0;
  // Searches the move; true when that ends the root's search: a cutoff (its score in cutoff) or
  // a stop.
  auto search = [&](Move m) {
    ++k;
    child.clear();
    UndoRecord undo;
    if (busyMoves) busyMoves->mark(key, m);
    makeMove(pos, m, undo);
    const int v = searchChild(std::max(alpha, best), beta, 1, depth - 1, int(k), child);
    unmakeMove(pos, m, undo);
    if (busyMoves) busyMoves->unmark(key, m);
    if (stopped()) return true;
    if (v >= beta) {
      cutoffs.add();
      if (k == 1) cutoffsOnFirstMove.add();
      recordKiller(pos, m);
      store(v, m);
      if (v >= keepFrom) {
        appendPV(m, child, line);
        if (reportsEachBest()) host->reportThinking(depth, v, line, LineTag{1, ScoreBound::Lower});
      }
      cutoff = v;
      return true;
    }
    if (v > best) {
      best = v;
      if (v > alpha) {
        appendPV(m, child, line);
        if (reportsEachBest()) host->reportThinking(depth, v, line, LineTag{});
      }
    } else if (v > second) {
      second = v;
    }
    return false;
  };
  // While several workers search, each leaves the root moves past the first that another is
  // searching for last (see BusyMoves).
  Move putOff[MoveList::Capacity];
  uint32_t putOffCount = 0;
  bool ended = false, timed = false;
  for (uint32_t picked = 0; const MoveEntry* entry = pickNextMove(picked, list); ++picked) {
    if (timing && k == 2 && !timed) {
      firstMovesTime = int32_t(uint32_t(clockStamp()) - uint32_t(t0));
      timed = true;
    }
    const Move m = entry->move;
    if (busyMoves && picked >= 1 && busyMoves->marked(key, m)) {
      putOff[putOffCount++] = m;
    } else if (search(m)) {
      ended = true;
      break;
    }
  }
  for (uint32_t i = 0; !ended && i < putOffCount; ++i) ended = search(putOff[i]);
  if (ended && !stopped()) return cutoff;
  if (id == 0 && k > 1 && !stopped() && best >= second + 200) easyMove = true;
  // A stopped iteration's partial maximum is no bound of this position, so it is not stored.
  if (!stopped()) store(best, line.empty() ? NullMove : line.moves[0]);
  return best;
}

}  // namespace varnu
