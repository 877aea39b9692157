// The search's reports in the xboard form: a thinking line for every new best line at the root,
// and the statistics block at the end of a search.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "engine/engine.h"

namespace varnu {

namespace {

uint64_t percent(uint64_t part, uint64_t whole) { return whole ? part * 100 / whole : 0; }

}  // namespace

// "<depth> <score> <time> <nodes> <moves>". With one line, xboard has no line for a completed
// iteration; with several, only completed iterations are reported, each line in turn.
void Engine::onThinking(const ThinkingReport& r) {
  if (!postThinking_ || (r.iterationDone && r.linesWanted <= 1)) return;
  char head[96];
  std::snprintf(head, sizeof head, "%u %d %d %" PRIu64, unsigned(r.depth), r.score, r.time,
                r.nodes);
  std::string text = head;
  appendMoveTexts(text, *r.line, notation_);
  out_.line(text);
}

void Engine::onStatistics(const SearchStatistics& s) {
  if (!postThinking_) return;
  const uint64_t nps = s.time > 0 ? s.nodes * 100 / uint64_t(s.time) : 0;
  const uint64_t all = s.cutoffs + s.qsCutoffs;
  const uint64_t allFirst = s.cutoffsOnFirstMove + s.qsCutoffsOnFirstMove;
  char text[1024];
  std::snprintf(text, sizeof text,
                "# total nodes = %" PRIu64 ", QS nodes = %" PRIu64 " (%" PRIu64
                "%%), time = %d, nps = %" PRIu64
                "\n"
                "# cutoffs = %" PRIu64 ", cutoffs on 1st move = %" PRIu64 " (%" PRIu64
                "%%)\n"
                "# qsCutoffs = %" PRIu64 ", qsCutoffs on 1st move = %" PRIu64 " (%" PRIu64
                "%%)\n"
                "# allCutoffs = %" PRIu64 ", all cutoffs on 1st move = %" PRIu64 " (%" PRIu64
                "%%)\n"
                "# ttHashFull%% = %g, ttHashHits = %" PRIu64 "\n",
                s.nodes, s.qsNodes, percent(s.qsNodes, s.nodes), s.time, nps, s.cutoffs,
                s.cutoffsOnFirstMove, percent(s.cutoffsOnFirstMove, s.cutoffs), s.qsCutoffs,
                s.qsCutoffsOnFirstMove, percent(s.qsCutoffsOnFirstMove, s.qsCutoffs), all, allFirst,
                percent(allFirst, all), s.hashFullPercent, s.ttHashHits);
  out_.block(text);
}

}  // namespace varnu
