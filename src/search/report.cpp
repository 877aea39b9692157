// The search's reports to the pool's listener: the figures of every new best line at the root and
// of every completed iteration, and the counters at the end of a search.
#include <algorithm>
#include <cstdlib>

#include "board/make_move.h"
#include "board/move.h"
#include "board/movegen.h"
#include "search/search_pool.h"

namespace varnu {

void appendMoveTexts(std::string& text, const PVLine& line, const MoveNotation& notation) {
  for (int i = 0; i < line.length; ++i) {
    text += ' ';
    text += moveToText(line.moves[i], notation);
  }
}

PVLine completeLine(const Position& root, const PVLine& line, const TranspositionTable& table) {
  PVLine full = line;
  Position pos = root;
  // The keys of the positions along the line, the root's first.
  uint64_t seen[PVLine::Capacity + 1];
  int seenCount = 0;
  seen[seenCount++] = pos.key();
  auto play = [&](Move m) {
    UndoRecord undo;
    makeMove(pos, m, undo);
  };
  for (int i = 0; i < line.length; ++i) {
    play(line.moves[i]);
    seen[seenCount++] = pos.key();
  }
  while (full.length < PVLine::Capacity && pos.historyCount + 1 < MaxHistory) {
    const Move stored = table.probe(pos, -MateScore, MateScore, 0, 0).move;
    if (stored == NullMove) break;
    // The table's move may belong to another position of the same key.
    MoveList legal;
    generateMoves(pos, inCheck(pos), legal);
    Move next = NullMove;
    for (uint32_t i = 0; i < legal.count && next == NullMove; ++i)
      if (sameMove(legal.entries[i].move, stored)) next = legal.entries[i].move;
    if (next == NullMove) break;
    play(next);
    // A line that comes back to a position would only go round.
    if (std::find(seen, seen + seenCount, pos.key()) != seen + seenCount) break;
    seen[seenCount++] = pos.key();
    full.moves[full.length++] = next;
  }
  return full;
}

void SearchPool::report(int depth, int score, const PVLine& line, bool iterationDone, LineTag tag) {
  ThinkingReport r;
  r.depth = depth;
  // A depth answered from the table may never have gone as deep as its number.
  r.selDepth = std::max(workers_[0]->searcher->selDepth, depth);
  r.score = score;
  r.time = ponder_.reportTime(timer_.spent());
  r.nodes = totalNodes();
  const TranspositionTable& table = table_.table();
  const uint64_t entries = table.entryCount();
  r.hashFull = entries ? int(table.filledCount() * 1000 / entries) : 0;
  r.line = &line;
  r.iterationDone = iterationDone;
  r.lineNumber = tag.number;
  r.linesWanted = limits_.multiPV;
  r.bound = tag.bound;
  // A root in the endgame tables shows their score for the line's move, unless the search found a
  // mate: the tables know the result, which the search's evaluation only guesses.
  for (uint32_t i = 0; i < rootTableMoves_.count && !line.empty(); ++i)
    if (sameMove(rootTableMoves_.entries[i].move, line.moves[0]) &&
        std::abs(score) <= MateThreshold) {
      r.score = rootTableScores_[i];
      r.bound = ScoreBound::Exact;
    }
  r.tablesInUse = tablesInUse();
  r.tableHits = totalTableHits();
  listener_.onThinking(r);
}

void SearchPool::reportThinking(int depth, int score, const PVLine& line, LineTag tag) {
  report(depth, score, line, false, tag);
}

void SearchPool::reportIteration(int depth, int score, const PVLine& line, LineTag tag) {
  report(depth, score, line, true, tag);
}

void SearchPool::printStatistics() {
  SearchStatistics& s = statistics_;
  s = SearchStatistics{};
  s.time = ponder_.reportTime(timer_.spent());
  for (const auto& worker : workers_) {
    const Searcher& w = *worker->searcher;
    s.nodes += w.nodes.get();
    s.qsNodes += w.qsNodes.get();
    s.cutoffs += w.cutoffs.get();
    s.cutoffsOnFirstMove += w.cutoffsOnFirstMove.get();
    s.qsCutoffs += w.qsCutoffs.get();
    s.qsCutoffsOnFirstMove += w.qsCutoffsOnFirstMove.get();
    s.ttHashHits += w.ttHashHits.get();
  }
  s.tablesInUse = tablesInUse();
  s.tableHits = totalTableHits();
  s.hashFullPercent = table_.table().hashFullPercent();
  listener_.onStatistics(s);
}

}  // namespace varnu
