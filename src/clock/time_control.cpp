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

}  // namespace

BudgetFigures TimeControl::budget(int ply, int32_t elapsed) const {
  BudgetFigures b{};
  b.movesPerSession = movesPerSession;
  b.timePerSession = timePerSession;
  b.increment = increment;
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
  b.max = clamp32(int64_t(double(available) * 0.9 / b.remainingMoves));

  b.moveTime = moveTime;
  b.margin = margin;
  int64_t wanted = b.moveTime > 0 ? int64_t(b.moveTime) - b.margin : int64_t(b.max);
  // A "time" report belongs to the move it was sent for: it comes at that move's ply, or one
  // ply earlier when it arrives before the opponent's move is recorded. By then the session
  // figures may count an increment, or a whole period, that the clock does not hold yet.
  const int reported = reportPly;
  if (reported >= 0 && (ply == reported || ply == reported + 1)) {
    b.clockKnown = true;
    b.clock = clamp32(int64_t(reportedGiven) - elapsed);
  } else if (b.moveTime == 0) {
    // The figures count this move's increment already; the clock receives it after the move.
    b.clockKnown = true;
    b.clock = clamp32(remaining - b.increment);
  }
  if (b.clockKnown) wanted = std::min(wanted, int64_t(b.clock) - b.margin);
  b.maxTime = clamp32(wanted);
  return b;
}

std::string budgetLines(const BudgetFigures& b) {
  char text[400];
  int32_t wanted = b.max;
  if (b.moveTime > 0) {
    wanted = clamp32(int64_t(b.moveTime) - b.margin);
    std::snprintf(text, sizeof text, "# timePerMove=%d margin=%d max=%d\n", b.moveTime, b.margin,
                  wanted);
  } else {
    std::snprintf(text, sizeof text,
                  "# movesPerSession=%u timePerSession=%u increment=%u\n"
                  "# ply=%u fullMoveNumber=%u remainingMoves=%u nSessions=%u\n"
                  "# total=%d elapsed=%d remaining=%d available=%d max=%d\n",
                  b.movesPerSession, uint32_t(b.timePerSession), uint32_t(b.increment), b.ply,
                  b.fullMoveNumber, b.remainingMoves, b.nSessions, b.total, b.elapsed, b.remaining,
                  b.available, b.max);
  }
  std::string lines = text;
  if (b.maxTime < wanted) {
    std::snprintf(text, sizeof text, "# clock=%d margin=%d max=%d\n", b.clock, b.margin, b.maxTime);
    lines += text;
  }
  return lines;
}

void TimeControl::setRemaining(int32_t remaining, int ply) {
  const int64_t fullMoveNumber = ply / 2 + 1;
  const uint32_t moves = movesPerSession;
  const int64_t sessions = moves > 0 ? (fullMoveNumber + moves - 1) / moves : 1;
  stopwatch.setAccumulated(
      clamp32(int64_t(timePerSession) * sessions + int64_t(increment) * fullMoveNumber - remaining));
  reportedGiven = clamp32(int64_t(stopwatch.reading()) + remaining);
  reportPly = ply;
}

void TimeControl::setSessions(uint32_t moves, int32_t time, int32_t inc) {
  movesPerSession = moves;
  timePerSession = time;
  increment = inc;
  moveTime = 0;
}

void TimeControl::resetForNewGame() {
  stopwatch.stop();
  stopwatch.reset();
  timeControlActive = true;
  depthLimited = false;
  movesPerSession = 40;
  timePerSession = 30000;
  increment = 0;
  moveTime = 0;
  reportPly = -1;
}

}  // namespace varnu
