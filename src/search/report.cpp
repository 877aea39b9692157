// The search's reports to the pool's listener: the figures of every new best line at the root and
// of every completed iteration, and the counters at the end of a search.
#include <algorithm>
#include <cstdlib>

#include "board/move.h"
#include "search/search_pool.h"

namespace varnu {

void appendMoveTexts(std::string& text, const PVLine& line, const MoveNotation& notation) {
  for (int i = 0; i < line.length; ++i) {
    text += ' ';
    text += moveToText(line.moves[i], notation);
  }
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
