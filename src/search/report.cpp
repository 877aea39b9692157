// The search's output: a thinking line for every new best line at the root, and the statistics
// block at the end of a search. Both appear only while thinking output is on.
#include <cinttypes>
#include <string>

#include "board/move.h"
#include "search/search_pool.h"

namespace varnu {

namespace {

uint64_t percent(uint64_t part, uint64_t whole) { return whole ? part * 100 / whole : 0; }

}  // namespace

void SearchPool::reportThinking(int depth, int score, const PVLine& line) {
  if (!postThinking) return;
  char head[96];
  std::snprintf(head, sizeof head, "%u %d %d %" PRIu64, unsigned(depth), score,
                timeControl_.stopwatch.sinceMark(), totalNodes());
  std::string text = head;
  for (int i = 0; i < line.length; ++i) {
    text += ' ';
    text += moveToText(line.moves[i]);
  }
  out_.line(text);
}

void SearchPool::printStatistics() {
  if (!postThinking) return;
  const int32_t time = timeControl_.stopwatch.sinceMark();
  for (uint64_t& t : totals) t = 0;
  for (const auto& worker : workers_) {
    const Searcher& s = *worker->searcher;
    const Counter* counters[7] = {&s.nodes,     &s.qsNodes,   &s.cutoffs,   &s.cutoffsOnFirstMove,
                                  &s.qsCutoffs, &s.qsCutoffsOnFirstMove, &s.ttHashHits};
    for (int i = 0; i < 7; ++i) totals[i] += counters[i]->get();
  }
  const uint64_t nodes = totals[0], qsNodes = totals[1], cuts = totals[2], cutsFirst = totals[3],
                 qsCuts = totals[4], qsCutsFirst = totals[5], hits = totals[6];
  const uint64_t nps = time > 0 ? nodes * 100 / uint64_t(time) : 0;
  const uint64_t all = cuts + qsCuts, allFirst = cutsFirst + qsCutsFirst;
  char text[1024];
  std::snprintf(text, sizeof text,
                "# total nodes = %" PRIu64 ", QS nodes = %" PRIu64 " (%" PRIu64
                "%%), time = %d, nps = %" PRIu64 "\n"
                "# cutoffs = %" PRIu64 ", cutoffs on 1st move = %" PRIu64 " (%" PRIu64 "%%)\n"
                "# qsCutoffs = %" PRIu64 ", qsCutoffs on 1st move = %" PRIu64 " (%" PRIu64 "%%)\n"
                "# allCutoffs = %" PRIu64 ", all cutoffs on 1st move = %" PRIu64 " (%" PRIu64
                "%%)\n"
                "# ttHashFull%% = %g, ttHashHits = %" PRIu64 "\n",
                nodes, qsNodes, percent(qsNodes, nodes), time, nps, cuts, cutsFirst,
                percent(cutsFirst, cuts), qsCuts, qsCutsFirst, percent(qsCutsFirst, qsCuts), all,
                allFirst, percent(allFirst, all), table_.hashFullPercent(), hits);
  out_.block(text);
}

}  // namespace varnu
