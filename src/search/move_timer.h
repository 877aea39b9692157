// The master's clock during a search: the budget that the search's limits give the move, and
// whether it is spent.
#pragma once

#include <atomic>
#include <cstdint>

#include "clock/stopwatch.h"
#include "clock/time_control.h"
#include "search/note.h"
#include "search/search_limits.h"

namespace varnu {

// The budget of a move for the side to move under these limits, with elapsed centiseconds used
// so far by the engine (the stopwatch's reading at the start of the search).
BudgetFigures moveBudget(const SearchLimits& limits, int side, int32_t elapsed);

class MoveTimer {
 public:
  explicit MoveTimer(Stopwatch& watch) : watch_(watch) {}

  // Starts the clock of a search (or of a ponder search at its hit): marks the watch, from which
  // the search's time counts, and when a clock governs the search sets its budget and tells it to
  // notes (when given).
  void start(const SearchLimits& limits, int side, NoteSink* notes);
  // No clock governs the search until the next start: it ponders. The watch is left alone, since
  // the time is the opponent's.
  void suspend() { budgeted_.store(false, std::memory_order_relaxed); }
  // Ends the search's time: the watch stops, so that it counts the engine's own time only.
  void stop() { watch_.stop(); }

  // True while a clock governs the search.
  bool budgeted() const { return budgeted_.load(std::memory_order_relaxed); }
  // True when a clock governs the search and the move's budget is spent.
  bool timeUp() const { return budgeted() && spent() >= maxTime(); }
  // Centiseconds since the search (or its ponder hit) started.
  int32_t spent() const { return watch_.sinceMark(); }
  // The budget of the move, measured from its start.
  int32_t maxTime() const { return maxTime_.load(std::memory_order_relaxed); }

 private:
  Stopwatch& watch_;
  std::atomic<bool> budgeted_{false};
  std::atomic<int32_t> maxTime_{0};
};

}  // namespace varnu
