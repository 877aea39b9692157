// The search's reports as "info" lines.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>

#include "board/make_move.h"
#include "board/movegen.h"
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

}  // namespace

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

std::string UciEngine::oddsText(int score) const {
  if (!options_.flag(Setting::ShowWdl)) return "";
  // The game's ply at the root: two a move before the current one, and one more with Black to
  // move.
  const WinOdds odds = winOdds(score, 2 * (fullmoveNumber_ - 1) + game_.sideToMove);
  return " wdl " + std::to_string(odds.win) + " " + std::to_string(odds.draw) + " " +
         std::to_string(odds.loss);
}

void UciEngine::onThinking(const ThinkingReport& r) {
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
                " hashfull %d%s time %" PRId64 " pv",
                r.depth, r.selDepth, r.lineNumber, scoreText(r.score).c_str(), bound,
                oddsText(r.score).c_str(), r.nodes, nodesPerSecond(r.nodes, r.time), r.hashFull,
                tableHitsText(r.tablesInUse, r.tableHits).c_str(), int64_t(r.time) * 10);
  std::string text = head;
  // The search's line stops where it took a table hit: the table tells how it goes on.
  appendMoveTexts(text, completeLine(game_, line, pool_.table().table()), notation_);
  out_.line(text);
}

// The figures of the whole search, just before its bestmove.
void UciEngine::onStatistics(const SearchStatistics& s) {
  out_.printf("info nodes %" PRIu64 " nps %" PRIu64 " hashfull %d%s time %" PRId64 "\n", s.nodes,
              nodesPerSecond(s.nodes, s.time), int(s.hashFullPercent * 10),
              tableHitsText(s.tablesInUse, s.tableHits).c_str(), int64_t(s.time) * 10);
}

}  // namespace varnu
