#include "clock/time_control.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace varnu {

namespace {

// Figures are kept in 64 bits and brought back into the 32-bit range, so absurd settings give
// absurd budgets but never overflow.
int32_t clamp32(int64_t v) {
  return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                     std::numeric_limits<int32_t>::max()));
}

// 0.9 of the time available, spread over the moves it must last.
int32_t share(int64_t available, uint32_t moves) {
  return clamp32(int64_t(double(available) * 0.9 / moves));
}

}  // namespace

BudgetFigures sessionBudget(const SessionClock& clock, int ply, int32_t elapsed) {
  BudgetFigures b{};
  b.sessions = true;
  b.movesPerSession = clock.movesPerSession;
  b.timePerSession = clock.timePerSession;
  b.increment = clock.increment;
  b.ply = uint32_t(ply);
  b.fullMoveNumber = uint32_t(ply / 2 + 1);
  if (b.movesPerSession > 0) {
    const uint32_t q = b.fullMoveNumber / b.movesPerSession;
    const uint32_t r = b.fullMoveNumber % b.movesPerSession;
    b.remainingMoves = r == 0 ? 1 : b.movesPerSession - r + 1;
    b.nSessions = r == 0 ? q : q + 1;
  } else {
    b.remainingMoves = 32;
    b.nSessions = 1;
  }
  const int64_t total =
      int64_t(b.timePerSession) * b.nSessions + int64_t(b.increment) * b.fullMoveNumber;
  const int64_t remaining = total - elapsed;
  const int64_t available = remaining + int64_t(b.increment) * (int64_t(b.remainingMoves) - 1);
  b.total = clamp32(total);
  b.elapsed = elapsed;
  b.remaining = clamp32(remaining);
  b.available = clamp32(available);
  b.max = share(available, b.remainingMoves);
  // The figures count this move's increment already; the clock receives it after the move.
  b.clockKnown = true;
  b.clock = clamp32(remaining - b.increment);
  return b;
}

BudgetFigures clockBudget(int32_t time, int32_t increment, int movesToGo) {
  BudgetFigures b{};
  b.sessions = false;
  b.increment = increment;
  b.remainingMoves = movesToGo > 0 ? uint32_t(movesToGo) : 32;
  b.remaining = time;
  const int64_t available = int64_t(time) + int64_t(increment) * (int64_t(b.remainingMoves) - 1);
  b.available = clamp32(available);
  b.max = share(available, b.remainingMoves);
  b.clockKnown = true;
  b.clock = time;
  return b;
}

void capBudget(BudgetFigures& b, int32_t moveTime, int32_t margin, int32_t clock) {
  b.moveTime = moveTime;
  b.margin = margin;
  int64_t wanted = moveTime > 0 ? int64_t(moveTime) - margin : int64_t(b.max);
  if (clock != NoClock) {
    b.clockKnown = true;
    b.clock = clock;
  } else if (moveTime > 0) {
    // A time per move is not cut by a clock that nobody reported.
    b.clockKnown = false;
  }
  if (b.clockKnown) wanted = std::min(wanted, int64_t(b.clock) - margin);
  b.maxTime = clamp32(wanted);
}

int32_t TimeControl::reportedClock(int ply) const {
  if (reportPly < 0 || (ply != reportPly && ply != reportPly + 1)) return NoClock;
  return clamp32(int64_t(reportedGiven) - stopwatch.reading());
}

void TimeControl::setRemaining(int32_t remaining, int ply) {
  const int64_t fullMoveNumber = ply / 2 + 1;
  const uint32_t moves = sessions.movesPerSession;
  const int64_t periods = moves > 0 ? (fullMoveNumber + moves - 1) / moves : 1;
  stopwatch.setAccumulated(clamp32(int64_t(sessions.timePerSession) * periods +
                                   int64_t(sessions.increment) * fullMoveNumber - remaining));
  reportedGiven = clamp32(int64_t(stopwatch.reading()) + remaining);
  reportPly = ply;
}

void TimeControl::setSessions(uint32_t moves, int32_t time, int32_t inc) {
  sessions = SessionClock{moves, time, inc};
  moveTime = 0;
}

void TimeControl::resetForNewGame() {
  stopwatch.stop();
  stopwatch.reset();
  sessions = SessionClock{};
  moveTime = 0;
  reportPly = -1;
}

}  // namespace varnu
