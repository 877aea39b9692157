// The search's reports as "info" lines.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>

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

}  // namespace

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
  char head[200];
  std::snprintf(head, sizeof head,
                "info depth %d seldepth %d multipv %d score %s%s nodes %" PRIu64 " nps %" PRIu64
                " hashfull %d time %" PRId64 " pv",
                r.depth, r.selDepth, r.lineNumber, scoreText(r.score).c_str(), bound, r.nodes,
                nodesPerSecond(r.nodes, r.time), r.hashFull, int64_t(r.time) * 10);
  std::string text = head;
  appendMoveTexts(text, *r.line, notation_);
  out_.line(text);
}

// The figures of the whole search, just before its bestmove.
void UciEngine::onStatistics(const SearchStatistics& s) {
  out_.printf("info nodes %" PRIu64 " nps %" PRIu64 " hashfull %d time %" PRId64 "\n", s.nodes,
              nodesPerSecond(s.nodes, s.time), int(s.hashFullPercent * 10), int64_t(s.time) * 10);
}

}  // namespace varnu
