#include "search/move_timer.h"

namespace varnu {

BudgetFigures moveBudget(const SearchLimits& limits, int side, int32_t elapsed) {
  BudgetFigures b{};
  if (limits.sessionClock)
    b = sessionBudget(limits.sessions, limits.gamePly, elapsed);
  else if (limits.time[side] != NoClock)
    b = clockBudget(limits.time[side], limits.increment[side], limits.movesToGo);
  capBudget(b, limits.moveTime, limits.moveOverhead, limits.time[side]);
  return b;
}

void MoveTimer::start(const SearchLimits& limits, int side, NoteSink* notes) {
  // The budget counts the time used up to the mark, so a clock tick between starting the watch
  // and reading it cannot change the figures.
  const int32_t elapsed = watch_.markAndStart();
  if (!limits.timed(side)) {
    budgeted_.store(false, std::memory_order_relaxed);
    return;
  }
  const BudgetFigures budget = moveBudget(limits, side, elapsed);
  maxTime_.store(budget.maxTime, std::memory_order_relaxed);
  budgeted_.store(true, std::memory_order_relaxed);
  if (notes) notes->onNote(BudgetNote{budget});
}

}  // namespace varnu
