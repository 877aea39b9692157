// The engine's reports in the xboard form: a thinking line for every new best line at the root,
// the statistics block at the end of a search, the engine's move, and the notes as comment lines.
#include <algorithm>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "board/fen.h"
#include "xboard/xboard.h"

namespace varnu {

namespace {

uint64_t percent(uint64_t part, uint64_t whole) { return whole ? part * 100 / whole : 0; }

}  // namespace

std::string budgetLines(const BudgetFigures& b) {
  char text[400];
  int32_t wanted = b.max;
  if (b.moveTime > 0) {
    wanted = int32_t(std::clamp<int64_t>(int64_t(b.moveTime) - b.margin, INT32_MIN, INT32_MAX));
    std::snprintf(text, sizeof text, "# timePerMove=%d margin=%d max=%d\n", b.moveTime, b.margin,
                  wanted);
  } else if (b.sessions) {
    std::snprintf(text, sizeof text,
                  "# movesPerSession=%u timePerSession=%u increment=%u\n"
                  "# ply=%u fullMoveNumber=%u remainingMoves=%u nSessions=%u\n"
                  "# total=%d elapsed=%d remaining=%d available=%d max=%d\n",
                  b.movesPerSession, uint32_t(b.timePerSession), uint32_t(b.increment), b.ply,
                  b.fullMoveNumber, b.remainingMoves, b.nSessions, b.total, b.elapsed, b.remaining,
                  b.available, b.max);
  } else {
    std::snprintf(text, sizeof text, "# time=%d increment=%d movesToGo=%u max=%d\n", b.remaining,
                  b.increment, b.remainingMoves, b.max);
  }
  std::string lines = text;
  if (b.maxTime < wanted) {
    std::snprintf(text, sizeof text, "# clock=%d margin=%d max=%d\n", b.clock, b.margin, b.maxTime);
    lines += text;
  }
  return lines;
}

// "<depth> <score> <time> <nodes> <moves>". With one line, xboard has no line for a completed
// iteration; with several, only completed iterations are reported, each line in turn.
void XboardFrontEnd::onThinking(const Thinking& thinking) {
  const ThinkingReport& r = thinking.report;
  if (!postThinking_ || (r.iterationDone && r.linesWanted <= 1)) return;
  char head[96];
  std::snprintf(head, sizeof head, "%u %d %d %" PRIu64, unsigned(r.depth), r.score, r.time,
                r.nodes);
  std::string text = head;
  appendMoveTexts(text, thinking.line, thinking.notation);
  out_.line(text);
}

void XboardFrontEnd::onStatistics(const SearchStatistics& s) {
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

// The engine's move: a draw offer first when the move allows a claim, then the move with the board
// it leaves and, when it ends the game, the result. The game is over for the engine then.
void XboardFrontEnd::onEngineMove(const EngineMove& m) {
  const std::string text = moveToText(m.move, m.notation);
  if (m.offersDraw) out_.line("offer draw");
  out_.line("# making engine move: " + text);
  out_.line("move " + text);
  out_.block(boardText(m.position, "# ") + "#\n");
  if (m.end != GameEnd::None) {
    if (!gameOver_) out_.line(gameEndText(m.end));
    gameOver_ = true;
    stopPlaying();
  }
}

// Thinking lines while pondering leave the assumed reply out, so it is announced first.
void XboardFrontEnd::onPonder(const PonderStart& ponder) {
  if (postThinking_) out_.line("Hint: " + moveToText(ponder.reply, ponder.notation));
}

void XboardFrontEnd::onNote(const Note& note) {
  std::visit(
      Overloaded{
          [&](const CoresNote& n) {
            out_.printf("# will now use %u cores (requested=%u, current=%u, max=%u)\n", n.used,
                        n.requested, n.current, n.max);
          },
          [&](const TableMadeNote& n) {
            out_.printf("# new size of TT hash: %u MB\n", n.megabytes);
          },
          [&](const TablePagesNote& n) {
            out_.logNote("# TT hash of " + std::to_string(n.megabytes) +
                         " MB: " + std::to_string(n.largePageMegabytes) + " MB in large pages");
          },
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
            const std::string move = moveToText(n.move, n.notation);
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
