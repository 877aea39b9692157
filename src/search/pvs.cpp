// The principal variation search below the root: null-window searches with re-search,
// mate-distance pruning, razoring, static null-move pruning, null-move pruning, internal
// iterative deepening, and the check and single-reply extensions.
#include <algorithm>
#include <cstdlib>

#include "board/game_end.h"
#include "board/make_move.h"
#include "board/movegen.h"
#include "eval/evaluate.h"
#include "search/move_order.h"
#include "search/searcher.h"
#include "search/shared_iteration.h"

namespace varnu {

namespace {

constexpr int razorMargin[4] = {0, 232, 264, 296};
constexpr int futilityMargin[6] = {0, 80, 160, 240, 320, 400};
// Where the workers mark the moves they search, and put off those another one is searching: the
// nodes this deep are few enough that the marks cost next to nothing, and big enough to be worth
// leaving to one worker.
constexpr int SharedDepth = 2;
constexpr int MaxPutOff = 32;

// The line of a node that its table entry settles: the entry's move, when it has one.
void lineOfHashMove(Move hashMove, PVLine& line) {
  if (hashMove == NullMove) return;
  line.moves[0] = hashMove;
  line.length = 1;
}

}  // namespace

void appendPV(Move move, const PVLine& child, PVLine& line) {
  line.moves[0] = move;
  const int n = std::min<int>(child.length, PVLine::Capacity - 1);
  for (int i = 0; i < n; ++i) line.moves[i + 1] = child.moves[i];
  line.length = uint16_t(n + 1);
}

Searcher::Searcher(int id, TranspositionTable* table, const MoveTimer* timer, SearchHost* host)
    : id(id), table(table), timer(timer), host(host), evalCache(std::make_unique<EvalCache>()) {}

void Searcher::clearCounts() {
  for (Counter* c : {&nodes, &qsNodes, &cutoffs, &cutoffsOnFirstMove, &qsCutoffs,
                     &qsCutoffsOnFirstMove, &ttHashHits, &tableHits})
    c->reset();
}

void Searcher::resetCounters() {
  clearCounts();
  firstMovesTime = 0;
  selDepth = 0;
  easyMove = false;
}

bool Searcher::timedOut() {
  // The master counts its own nodes for the test: a sum over every worker would read, at every
  // node, counters that the other threads write at every node. Once its own count reaches a
  // node limit it asks at every node, so that a limit below the interval is kept. Every worker
  // tests as often whether another has completed the iteration it is searching.
  const bool master = id == 0 && host;
  const uint64_t n = nodes.get();
  if (n % TimeoutInterval != 0 && (!master || limits.nodes == 0 || n < limits.nodes)) return false;
  if (iterations && iterations->depth() >= iterationDepth_) {
    overtaken_ = true;
    return true;
  }
  if (!master || !host->checkTimeout()) return false;
  stopRequested.store(true, std::memory_order_relaxed);
  return true;
}

void Searcher::noteStopRule(StopRule rule, int plies) {
  if (host) host->onNote(StopRuleNote{rule, bestLine.moves[0], plies});
}

MateWindow Searcher::mateDistanceWindow(int alpha, int beta, int ply, bool inCheck) const {
  MateWindow w{alpha, beta, -MateScore, MateScore};
  const int side = position.sideToMove;
  if (alpha < 0) {
    if (position.pieceList[side ^ 1].pieceCount == 1)
      w.lowerLimit = 0;
    else
      w.lowerLimit = inCheck ? ply - MateScore : ply - (MateScore - 2);
    w.alpha = std::max(alpha, w.lowerLimit - 1);
  }
  if (beta > 0) {
    w.upperLimit = position.pieceList[side].pieceCount == 1 ? 0 : (MateScore - 1) - ply;
    w.beta = std::min(beta, w.upperLimit + 1);
  }
  return w;
}

int Searcher::searchChild(int alpha, int beta, int ply, int depth, int moveNumber, PVLine& line) {
  if (depth == 0) return -quiesce(-beta, -alpha, ply, line);
  if (moveNumber == 1) return -searchNode(-beta, -alpha, ply, depth, line);
  const int v = -searchNode(-alpha - 1, -alpha, ply, depth, line);
  if (beta == alpha + 1 || v <= alpha) return v;
  return -searchNode(-beta, -alpha, ply, depth, line);
}

Searcher::NodeStart Searcher::startNode(int alpha, int beta, int ply, int depth, bool inCheck,
                                        PVLine& line) {
  Position& pos = position;
  NodeStart start;
  start.settled = true;
  nodes.add();
  if (ply > selDepth) selDepth = ply;
  if (timedOut()) {
    start.score = StoppedScore;
    return start;
  }
  if (checkDraw(pos).drawn) {
    start.score = 0;
    return start;
  }
  // Near the end of the history stack a node is a leaf, whatever the game length.
  if (pos.historyCount >= MaxHistory - 1) {
    start.score = evaluate(pos, alpha, beta, *evalCache);
    return start;
  }
  const MateWindow w = mateDistanceWindow(alpha, beta, ply, inCheck);
  start.window = w;
  if (w.alpha >= w.beta) {
    table->store(pos, w.alpha, ply, w.lowerLimit, w.upperLimit, w.alpha, w.beta, depth, NullMove,
                 id);
    start.score = w.alpha;
    return start;
  }
  const ProbeResult hash = table->probe(pos, w.alpha, w.beta, ply, depth);
  if (hash.found) ttHashHits.add();
  if (hash.cutoff) {
    lineOfHashMove(hash.move, line);
    start.score = hash.score;
    return start;
  }
  if (tableLimit_ > 0 && ply > 0 && pos.halfmoveClock == 0 &&
      probeTables(w, ply, depth, start.score))
    return start;
  start.settled = false;
  start.hashMove = hash.move;
  return start;
}

bool Searcher::probeTables(const MateWindow& w, int ply, int depth, int& score) {
  Position& pos = position;
  if (pos.castlingRights || depth < limits.tablebases.probeDepth ||
      popCount(pos.occupied()) > tableLimit_)
    return false;
  int wdl = 0;
  if (!tablebases->probeWdl(pos, wdl)) return false;
  tableHits.add();
  // A cursed win or blessed loss is a draw while the fifty-move rule counts.
  const int draws = limits.tablebases.rule50 ? 1 : 0;
  score = wdl > draws ? TablebaseWin - ply : wdl < -draws ? ply - TablebaseWin : 0;
  // A win is a lower bound (a mate may be nearer), a loss an upper one, a draw exact.
  if ((score > 0 && score < w.beta) || (score < 0 && score > w.alpha)) return false;
  table->store(pos, score, ply, w.lowerLimit, w.upperLimit, w.alpha, w.beta,
               std::min(depth + 6, 120), NullMove, id);
  return true;
}

int Searcher::searchNode(int alpha, int beta, int ply, int depth, PVLine& line) {
  Position& pos = position;
  if (inCheck(pos)) return searchInCheck(alpha, beta, ply, depth + 1, line);
  const NodeStart start = startNode(alpha, beta, ply, depth, false, line);
  if (start.settled) return start.score;
  const MateWindow& w = start.window;
  alpha = w.alpha;
  beta = w.beta;
  auto store = [&](int score, Move move) {
    table->store(pos, score, ply, w.lowerLimit, w.upperLimit, alpha, beta, depth, move, id);
  };
  Move hashMove = start.hashMove;

  const int eval = evaluate(pos, alpha, beta, *evalCache);
  PVLine scratch;

  if (depth <= 3 && beta == alpha + 1 && hashMove == NullMove && std::abs(beta) <= MateThreshold) {
    const int t = alpha - razorMargin[depth];
    if (eval <= t) {
      const int v = quiesce(t, t + 1, ply, scratch);
      if (v <= t) return v;
    }
  }

  if (depth <= 5 && std::abs(alpha) <= MateThreshold && std::abs(beta) <= MateThreshold) {
    const int t = eval - futilityMargin[depth];
    if (t >= beta) {
      store(t, NullMove);
      return t;
    }
  }

  const PieceList& own = pos.pieceList[pos.sideToMove];
  const bool twoNullsInARow = ply >= 2 && pos.historyCount >= 2 &&
                              pos.history[pos.historyCount - 1].movePlayed == NullMove &&
                              pos.history[pos.historyCount - 2].movePlayed == NullMove;
  if (depth >= 2 && beta == alpha + 1 && eval >= beta && own.pieceCount - own.typeCount[Pawn] > 1 &&
      !twoNullsInARow) {
    UndoRecord undo;
    makeNullMove(pos, undo);
    const int d = std::max(depth - std::min(depth / 4, 3) - 4, 0);
    if (d > 0) table->prefetch(pos.key());
    scratch.clear();
    int v = d > 0 ? -searchNode(-beta, -beta + 1, ply + 1, d, scratch)
                  : -quiesce(-beta, -beta + 1, ply + 1, scratch);
    unmakeNullMove(pos, undo);
    if (stopped()) return StoppedScore;
    if (v >= beta) {
      if (v > MateThreshold) v = beta;  // a mate found behind a null move is not trusted
      store(v, NullMove);
      return v;
    }
  }

  if (hashMove == NullMove && depth >= 5) {
    scratch.clear();
    searchNode(alpha, beta, ply, depth - 2, scratch);
    if (stopped()) return StoppedScore;
    if (!scratch.empty()) hashMove = scratch.moves[0];
  }

  MoveList list;
  FirstMove first;
  if (findFirstMove(hashMove, first)) return searchMoves(list, w, ply, depth, line, &first);
  generateMoves(pos, false, list);
  if (list.count == 0) return 0;  // stalemate
  if (list.count == 1) depth += 1;

  scoreMoves(pos, hashMove, list);
  return searchMoves(list, w, ply, depth, line);
}

bool Searcher::findFirstMove(Move hashMove, FirstMove& first) {
  Position& pos = position;
  MoveList list;
  first.hashMove = hashMove;
  if (hashMove != NullMove) {
    // Castling and en passant are listed apart from their piece's moves: left to the full list.
    if (moveKind(hashMove) == CastlingMove || moveKind(hashMove) == EnPassantMove) return false;
    generatePieceMoves(pos, moveFromSquare(hashMove), list);
    if (list.count < 2) return false;
    for (uint32_t i = 0; i < list.count; ++i) {
      if (sameMove(list.entries[i].move, hashMove)) {
        first.move = list.entries[i].move;
        first.killers = killersOf(pos);
        return true;
      }
    }
    return false;  // a move of another position with the same key
  }
  // The captures and queen promotions come in the order the full list holds them.
  generateCaptures(pos, list);
  if (list.count < 2) return false;
  first.killers = killersOf(pos);
  scoreMoves(pos, NullMove, first.killers, list);
  const MoveEntry* best = pickNextMove(0, list);
  if (best->score < FirstPickFloor) return false;
  first.move = best->move;
  return true;
}

int Searcher::searchInCheck(int alpha, int beta, int ply, int depth, PVLine& line) {
  Position& pos = position;
  const NodeStart start = startNode(alpha, beta, ply, depth, true, line);
  if (start.settled) return start.score;

  MoveList list;
  generateMoves(pos, true, list);
  if (list.count == 0) return ply - MateScore;  // checkmated

  scoreMoves(pos, start.hashMove, list);
  return searchMoves(list, start.window, ply, depth, line);
}

int Searcher::searchMoves(MoveList& list, const MateWindow& w, int ply, int depth, PVLine& line,
                          const FirstMove* first) {
  Position& pos = position;
  const int alpha = w.alpha, beta = w.beta;
  auto store = [&](int score, Move move) {
    table->store(pos, score, ply, w.lowerLimit, w.upperLimit, alpha, beta, depth, move, id);
  };
  int best = -MateScore;
  PVLine child;
  const uint64_t key = pos.key();
  BusyMoves* const marks = depth >= SharedDepth ? busyMoves : nullptr;
  int searched = 0;
  int settled = 0;
  // Searches the move; true when that settles the node (a cutoff, or the search stopped), whose
  // score is then in settled.
  auto search = [&](Move m) {
    ++searched;
    child.clear();
    UndoRecord undo;
    if (marks) marks->mark(key, m);
    makeMove(pos, m, undo);
    if (depth > 1) table->prefetch(pos.key());  // the child probes the table
    const int v = searchChild(std::max(alpha, best), beta, ply + 1, depth - 1, searched, child);
    unmakeMove(pos, m, undo);
    if (marks) marks->unmark(key, m);
    if (stopped()) {
      settled = StoppedScore;
      return true;
    }
    if (v >= beta) {
      cutoffs.add();
      if (searched == 1) cutoffsOnFirstMove.add();
      recordKiller(pos, m);
      store(v, m);
      settled = v;
      return true;
    }
    if (v > best) {
      best = v;
      if (v > alpha) appendPV(m, child, line);
    }
    return false;
  };
  // Whether another worker has settled this node meanwhile: once a move is left to another, the
  // node's own entry may come to hold its result (a cutoff by the move put off, say), which ends
  // the search of the moves that remain here as it would end a new visit.
  auto settledElsewhere = [&] {
    const ProbeResult hash = table->probe(pos, alpha, beta, ply, depth);
    if (!hash.cutoff) return false;
    line.clear();
    lineOfHashMove(hash.move, line);
    settled = hash.score;
    return true;
  };
  // Moves past the first that another worker is searching now wait for the end.
  Move putOff[MaxPutOff];
  int putOffCount = 0;
  uint32_t k = 0;
  const MoveEntry* entry;
  if (first) {
    k = 1;
    if (search(first->move)) return settled;
    // The list as it would have been made before the first move: the killers read then, and
    // the first pick made (it is the move searched) so that the next picks find it as they would.
    generateMoves(pos, false, list);
    scoreMoves(pos, first->hashMove, first->killers, list);
    pickNextMove(0, list);
    entry = pickNextMove(1, list);
  } else {
    entry = pickNextMove(0, list);
  }
  while (entry) {
    const Move m = entry->move;
    ++k;
    // A node that did not cut off at its first move usually searches them all: from the second
    // move on, the next one is picked now and its child's table bucket fetched while this
    // move's child is searched. A pick depends only on the entries not yet picked.
    const MoveEntry* next = nullptr;
    if (k >= 2) {
      next = pickNextMove(k, list);
      if (next && depth > 1) table->prefetch(keyAfterMoveHint(pos, next->move));
    }
    if (marks && k >= 2 && putOffCount < MaxPutOff && marks->marked(key, m))
      putOff[putOffCount++] = m;
    else if (search(m) || (putOffCount > 0 && settledElsewhere()))
      return settled;
    entry = k >= 2 ? next : pickNextMove(k, list);
  }
  for (int i = 0; i < putOffCount; ++i)
    if (search(putOff[i]) || settledElsewhere()) return settled;
  store(best, line.empty() ? NullMove : line.moves[0]);
  return best;
}

}  // namespace varnu
