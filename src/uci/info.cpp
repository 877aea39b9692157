// The search's reports as "info" lines.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "board/move.h"
#include "search/win_odds.h"
#include "uci/uci.h"

namespace varnu {

namespace {

// "cp <centipawns>", or "mate <moves>" for a mate score: positive when the engine mates,
// negative when it is mated.
std::string scoreText(int score) {
  if (score > MateThreshold) return "mate " + std::to_string((MateScore - score + 1) / 2);
  if (score < -MateThreshold) return "mate -" + std::to_string((MateScore + score + 1) / 2);
  return "cp " + std::to_string(score);
}

// Node rate from nodes and centiseconds; 0 before the first centisecond has passed.
uint64_t nodesPerSecond(uint64_t nodes, int32_t time) {
  return time > 0 ? nodes * 100 / uint64_t(time) : 0;
}

// " tbhits <n>" while endgame tables are in use; nothing otherwise.
std::string tableHitsText(bool inUse, uint64_t hits) {
  return inUse ? " tbhits " + std::to_string(hits) : "";
}

// " wdl <win> <draw> <loss>" for a score while UCI_ShowWDL is on; nothing otherwise.
std::string oddsText(const Thinking& t, int score) {
  if (!t.showOdds) return "";
  const WinOdds odds = winOdds(score, t.gamePly);
  return " wdl " + std::to_string(odds.win) + " " + std::to_string(odds.draw) + " " +
         std::to_string(odds.loss);
}

}  // namespace

void UciFrontEnd::onThinking(const Thinking& t) {
  const ThinkingReport& r = t.report;
  // A completed iteration whose line was just reported adds nothing but counts.
  const PVLine& line = *r.line;
  const bool same = r.depth == lastDepth_ && r.score == lastScore_ &&
                    line.length == lastLine_.length &&
                    std::equal(line.moves, line.moves + line.length, lastLine_.moves);
  if (r.iterationDone && same) return;
  lastDepth_ = r.depth;
  lastScore_ = r.score;
  lastLine_ = line;
  const char* bound = r.bound == ScoreBound::Lower   ? " lowerbound"
                      : r.bound == ScoreBound::Upper ? " upperbound"
                                                     : "";
  char head[240];
  std::snprintf(head, sizeof head,
                "info depth %d seldepth %d multipv %d score %s%s%s nodes %" PRIu64 " nps %" PRIu64
                " hashfull %d%s time %" PRId64,
                r.depth, r.selDepth, r.lineNumber, scoreText(r.score).c_str(), bound,
                oddsText(t, r.score).c_str(), r.nodes, nodesPerSecond(r.nodes, r.time), r.hashFull,
                tableHitsText(r.tablesInUse, r.tableHits).c_str(), int64_t(r.time) * 10);
  std::string text = head;
  // A line without moves says nothing after "pv": the word is left out with it.
  if (t.line.length > 0) {
    text += " pv";
    appendMoveTexts(text, t.line, t.notation);
  }
  out_.line(text);
}

// The figures of the whole search, just before its bestmove.
void UciFrontEnd::onStatistics(const SearchStatistics& s) {
  out_.printf("info nodes %" PRIu64 " nps %" PRIu64 " hashfull %d%s time %" PRId64 "\n", s.nodes,
              nodesPerSecond(s.nodes, s.time), int(s.hashFullPercent * 10),
              tableHitsText(s.tablesInUse, s.tableHits).c_str(), int64_t(s.time) * 10);
}

// "bestmove <move>", with "ponder <reply>" when a reply is known, or "bestmove 0000" without a
// move.
void UciFrontEnd::onBestMove(const BestMove& best) {
  if (best.move == NullMove) {
    out_.line("bestmove 0000");
    return;
  }
  std::string text = "bestmove " + moveToText(best.move, best.notation);
  if (best.reply != NullMove) text += " ponder " + moveToText(best.reply, best.notation);
  out_.line(text);
}

// The notes UCI has words for: a hash size or a log file refused, what the endgame tables' folders
// held, a book that could not be read, and (in the debug log alone) the table's large pages. The
// rest are xboard's comments.
void UciFrontEnd::onNote(const Note& note) {
  std::visit(
      Overloaded{
          [&](const HashRefusedNote& n) {
            info("cannot allocate " + std::to_string(n.megabytes) +
                 " MB for the hash table, keeping " + std::to_string(n.keptMegabytes) + " MB");
          },
          [&](const TablePagesNote& n) {
            out_.logNote("info string hash table of " + std::to_string(n.megabytes) +
                         " MB: " + std::to_string(n.largePageMegabytes) + " MB in large pages");
          },
          [&](const LogRefusedNote& n) { info("cannot open " + n.path.substr(0, 200)); },
          [&](const TablebaseScanNote& n) {
            for (const std::string& problem : n.scan.problems) info(problem);
            info(n.scan.summary());
          },
          [&](const BookFailureNote& n) {
            info(std::string("cannot read the book: ") + std::strerror(n.errorCode));
          },
          [&](const auto&) {},
      },
      note);
}

}  // namespace varnu
