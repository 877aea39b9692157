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
};

// The three comment lines that report a budget, each ended by a newline.
std::string budgetLines(const BudgetFigures& b);

// Written by the command thread and read by the master search thread, hence atomic.
struct TimeControl {
  Stopwatch stopwatch;
  std::atomic<int32_t> maxTime{0};
  std::atomic<uint32_t> movesPerSession{40};
  std::atomic<int32_t> timePerSession{30000};
  std::atomic<int32_t> increment{0};
  std::atomic<bool> timeControlActive{true};
  std::atomic<bool> depthLimited{false};
  std::atomic<int32_t> maxDepth{0};

  // The budget of the move at this ply (moves in the game record) with elapsed time used.
  BudgetFigures budget(int ply, int32_t elapsed) const;
  // True when the clock governs the search and the move's budget is spent.
  bool timeUp() const {
    return timeControlActive && stopwatch.sinceMark() >= maxTime.load(std::memory_order_relaxed);
  }
  // The "time" command: the engine has this much left, so the watch reads the time used.
  void setRemaining(int32_t remaining, int ply);
  // The settings of a new game: 40 moves in 5 minutes, no increment, no depth limit.
  void resetForNewGame();
};

}  // namespace varnu
