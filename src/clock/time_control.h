// The game's clock settings, the stopwatch of the engine's own time, and the budget of a move.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "clock/stopwatch.h"

namespace varnu {

// Every figure of a budget computation, for the three report lines.
struct BudgetFigures {
  uint32_t movesPerSession;
  int32_t timePerSession;
  int32_t increment;
  uint32_t ply;
  uint32_t fullMoveNumber;
  uint32_t remainingMoves;
  uint32_t nSessions;
  int32_t total;
  int32_t elapsed;
  int32_t remaining;
  int32_t available;
  int32_t max;
  // The fixed time per move ("st"), 0 when the session clock above sets the budget.
  int32_t moveTime;
  // The time on the engine's clock, as the GUI reported it for this move or, without such a
  // report, as the session figures reckon it; clockKnown is false when neither applies.
  bool clockKnown;
  int32_t clock;
  // The margin kept back from the time per move and the clock (the move overhead).
  int32_t margin;
  // The budget really used: max (or moveTime less the margin) capped by the clock less the margin.
  int32_t maxTime;
};

// The comment lines that report a budget, each ended by a newline: the session figures (or the
// time per move), and a line of the clock when it cuts the budget.
std::string budgetLines(const BudgetFigures& b);

// Written by the command thread and read by the master search thread, hence atomic.
struct TimeControl {
  // Kept back from every budget for the move's own output and the GUI's latency, so that a move
  // made as the budget runs out still reaches the GUI before the flag falls: the default of the
  // move overhead.
  static constexpr int32_t SafetyMargin = 10;
  // The largest move overhead a front end accepts, 5 s.
  static constexpr int32_t MaxMargin = 500;

  Stopwatch stopwatch;
  std::atomic<int32_t> maxTime{0};
  std::atomic<uint32_t> movesPerSession{40};
  std::atomic<int32_t> timePerSession{30000};
  std::atomic<int32_t> increment{0};
  std::atomic<bool> timeControlActive{true};
  std::atomic<bool> depthLimited{false};
  std::atomic<int32_t> maxDepth{0};
  // The fixed time per move set by "st"; 0 while the session clock governs.
  std::atomic<int32_t> moveTime{0};
  // The last "time" report: the ply it came at (-1 for none since the last new game) and the
  // time given so far by then, the clock plus the stopwatch's reading.
  std::atomic<int> reportPly{-1};
  std::atomic<int32_t> reportedGiven{0};
  // The move overhead: the margin kept back from every budget, in centiseconds. A setting of the
  // engine, not of the game, so a new game keeps it.
  std::atomic<int32_t> margin{SafetyMargin};
  // True while the search ponders: the clock settings wait for the ponder hit, and no time rule
  // applies until then.
  std::atomic<bool> pondering{false};

  // Sets the move overhead from milliseconds (0 to 5000), rounded up to whole centiseconds.
  void setMoveOverhead(int32_t milliseconds) { margin = (milliseconds + 9) / 10; }
  // The budget of the move at this ply (moves in the game record) with elapsed time used.
  BudgetFigures budget(int ply, int32_t elapsed) const;
  // True when the clock governs the search now: a clock is set and the search does not ponder.
  bool budgeted() const { return timeControlActive && !pondering; }
  // True when the clock governs the search and the move's budget is spent.
  bool timeUp() const {
    return budgeted() && stopwatch.sinceMark() >= maxTime.load(std::memory_order_relaxed);
  }
  // The "time" command: the engine has this much left, so the watch reads the time used.
  void setRemaining(int32_t remaining, int ply);
  // The "st" command: a fixed time per move, in centiseconds, until the next "level" or new game.
  void setMoveTime(int32_t centiseconds) { moveTime = centiseconds; }
  // The "level" command: the session clock, which also ends a fixed time per move.
  void setSessions(uint32_t moves, int32_t time, int32_t increment);
  // The settings of a new game: 40 moves in 5 minutes, no increment, no depth limit.
  void resetForNewGame();
};

}  // namespace varnu
