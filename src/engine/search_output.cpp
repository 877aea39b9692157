// The search's reports in the xboard form: a thinking line for every new best line at the root,
// and the statistics block at the end of a search.
#include <cinttypes>
#include <cstring>
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

namespace varnu {

void Engine::onNote(const Note& note) {
  std::visit(
      Overloaded{
          [&](const CoresNote& n) {
            out_.printf("# will now use %u cores (requested=%u, current=%u, max=%u)\n", n.used,
                        n.requested, n.current, n.max);
          },
          [&](const TableMadeNote& n) { out_.printf("# new size of TT hash: %u MB\n", n.megabytes); },
          [&](const TableNotMadeNote& n) {
            out_.printf("# cannot allocate %u MB for the TT hash, keeping %" PRIu64 " entries\n",
                        n.megabytes, n.keptEntries);
          },
          [&](const HashRefusedNote&) {},
          [&](const BudgetNote& n) {
            out_.block(budgetLines(n.budget));
            out_.printf("# set maxTime = %d\n", n.budget.maxTime);
          },
          [&](const TimeoutNote&) { out_.line("# timeout"); },
          [&](const StopRuleNote& n) {
            const std::string move = moveToText(n.move, notation_);
            switch (n.rule) {
              case StopRule::ForcedMove:
                out_.line("# forced move: " + move);
                break;
              case StopRule::EasyMove:
                out_.line("# easy move: " + move);
                break;
              case StopRule::NoTimeForIteration:
                out_.line("# probably not enough time left for another iteration");
                break;
              case StopRule::ForcedDraw:
                out_.line("# forced draw: " + move);
                break;
              case StopRule::ForcedMate:
                out_.printf("# forced mate in %d plies: %s\n", n.plies, move.c_str());
                break;
              case StopRule::GettingMated:
                out_.printf("# getting mated in %d plies: %s\n", n.plies, move.c_str());
                break;
            }
          },
          [&](const BookFailureNote& n) { out_.printf("ERROR: %s\n", std::strerror(n.errorCode)); },
          [&](const PerftTableNote& n) {
            out_.printf("# new size of Perft hash: %u MB\n", n.megabytes);
          },
          [&](const TablebaseScanNote& n) {
            for (const std::string& problem : n.scan.problems) out_.line("# " + problem);
            out_.line("# " + n.scan.summary());
          },
          [&](const LogRefusedNote& n) {
            out_.printf("Error (cannot open file): %s\n", n.path.c_str());
          },
      },
      note);
}

}  // namespace varnu
