// The arguments of "go".
#include <algorithm>
#include <string>

#include "board/move.h"
#include "board/number.h"
#include "uci/uci.h"

namespace varnu {

namespace {

constexpr std::string_view keywords[] = {"wtime",     "btime",    "winc",   "binc",
                                         "movestogo", "movetime", "depth",  "nodes",
                                         "mate",      "infinite", "ponder", "searchmoves"};

bool isKeyword(std::string_view word) {
  return std::find(std::begin(keywords), std::end(keywords), word) != std::end(keywords);
}

// An optional sign and at least one digit, nothing else.
bool isNumber(std::string_view word) {
  size_t i = word.size() > 0 && (word[0] == '-' || word[0] == '+') ? 1 : 0;
  if (i == word.size()) return false;
  for (; i < word.size(); ++i)
    if (word[i] < '0' || word[i] > '9') return false;
  return true;
}

}  // namespace

SearchLimits parseGo(const Words& words, const std::function<Move(std::string_view)>& parseMove,
                     std::string& ignored) {
  SearchLimits limits;
  auto ignore = [&](std::string_view word) {
    if (ignored.size() >= 200) return;
    ignored += ' ';
    ignored.append(word.substr(0, 40));
  };
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string_view word = words[i];
    if (word == "infinite") {
      limits.infinite = true;
    } else if (word == "ponder") {
      limits.ponder = true;
    } else if (word == "searchmoves") {
      for (; i + 1 < words.size() && !isKeyword(words[i + 1]); ++i) {
        const std::string_view text = words[i + 1];
        const Move m = parseMove(text);
        if (m == NullMove)
          ignore(text);
        else
          limits.searchMoves.add(m);
      }
    } else if (isKeyword(word)) {
      if (i + 1 == words.size() || !isNumber(words[i + 1])) {
        ignore(word);
        continue;
      }
      // Huge numbers saturate; a time below zero is a clock that has run out.
      const int32_t n = parseNumber(words[++i]);
      const int32_t centiseconds = std::max(n, 0) / 10;
      if (word == "wtime") limits.time[White] = centiseconds;
      if (word == "btime") limits.time[Black] = centiseconds;
      if (word == "winc") limits.increment[White] = centiseconds;
      if (word == "binc") limits.increment[Black] = centiseconds;
      // A fixed time per move of at least a centisecond, since none would mean no limit.
      if (word == "movetime") limits.moveTime = std::max(centiseconds, 1);
      if (word == "movestogo") limits.movesToGo = std::max(n, 0);
      if (word == "depth") limits.depth = std::clamp(n, 1, 100);
      if (word == "nodes") limits.nodes = uint64_t(std::max(n, 1));
      if (word == "mate") {
        if (n < 1)
          ignore(word);
        else
          limits.mate = std::min(n, 100);
      }
    } else {
      ignore(word);
    }
  }
  return limits;
}

void giveDefaultClock(SearchLimits& limits, int side) {
  if (limits.infinite || limits.ponder || limits.timed(side) || limits.depth > 0 ||
      limits.nodes > 0 || limits.mate > 0)
    return;
  const SessionClock standard;
  limits.time[side] = standard.timePerSession;
  limits.movesToGo = int(standard.movesPerSession);
}

}  // namespace varnu
