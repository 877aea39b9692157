// The search's reports to the front end: the figures of every new best line at the root and of
// every completed iteration, and the counters at the end of a search. Both go out only while
// thinking output is on; the front end that started the search prints them.
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
  if (!postThinking || !listener_) return;
  ThinkingReport r;
  r.depth = depth;
  r.selDepth = workers_[0]->searcher->selDepth;
  r.score = score;
  r.time = searchTime();
  r.nodes = totalNodes();
  const uint32_t entries = table_.entryCount();
  r.hashFull = entries ? int(uint64_t(table_.filledCount()) * 1000 / entries) : 0;
  r.line = &line;
  r.iterationDone = iterationDone;
  r.lineNumber = tag.number;
  r.linesWanted = request_.multiPV;
  r.bound = tag.bound;
  listener_->onThinking(r);
}

void SearchPool::reportThinking(int depth, int score, const PVLine& line, LineTag tag) {
  report(depth, score, line, false, tag);
}

void SearchPool::reportIteration(int depth, int score, const PVLine& line, LineTag tag) {
  report(depth, score, line, true, tag);
}

void SearchPool::printStatistics() {
  if (!postThinking) return;
  SearchStatistics s;
  s.time = searchTime();
  for (uint64_t& t : totals) t = 0;
  for (const auto& worker : workers_) {
    const Searcher& w = *worker->searcher;
    const Counter* counters[7] = {&w.nodes,     &w.qsNodes,
                                  &w.cutoffs,   &w.cutoffsOnFirstMove,
                                  &w.qsCutoffs, &w.qsCutoffsOnFirstMove,
                                  &w.ttHashHits};
    for (int i = 0; i < 7; ++i) totals[i] += counters[i]->get();
  }
  s.nodes = totals[0];
  s.qsNodes = totals[1];
  s.cutoffs = totals[2];
  s.cutoffsOnFirstMove = totals[3];
  s.qsCutoffs = totals[4];
  s.qsCutoffsOnFirstMove = totals[5];
  s.ttHashHits = totals[6];
  s.hashFullPercent = table_.hashFullPercent();
  if (listener_) listener_->onStatistics(s);
}

}  // namespace varnu
