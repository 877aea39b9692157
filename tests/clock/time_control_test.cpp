#include "clock/time_control.h"

#include <gtest/gtest.h>

#include "xboard/xboard.h"

namespace varnu {
namespace {

// The budget of the move at this ply as an xboard game reckons it: the session figures, the time
// per move, and the clock of the last "time" report, with the default move overhead of 100 ms.
BudgetFigures xboardBudget(const TimeControl& tc, int ply) {
  BudgetFigures b = sessionBudget(tc.sessions, ply, tc.stopwatch.reading());
  capBudget(b, tc.moveTime, 10, tc.reportedClock(ply));
  return b;
}

TEST(Budget, DefaultFirstMove) {
  const BudgetFigures b = xboardBudget(TimeControl{}, 0);
  EXPECT_EQ(b.max, 675);
  EXPECT_EQ(budgetLines(b),
            "# movesPerSession=40 timePerSession=30000 increment=0\n"
            "# ply=0 fullMoveNumber=1 remainingMoves=40 nSessions=1\n"
            "# total=30000 elapsed=0 remaining=30000 available=30000 max=675\n");
}

TEST(Budget, SessionBoundaries) {
  BudgetFigures b = sessionBudget(SessionClock{}, 78, 29000);
  EXPECT_EQ(b.fullMoveNumber, 40u);
  EXPECT_EQ(b.remainingMoves, 1u);
  EXPECT_EQ(b.nSessions, 1u);
  EXPECT_EQ(b.max, 900);
  b = sessionBudget(SessionClock{}, 80, 29000);
  EXPECT_EQ(b.fullMoveNumber, 41u);
  EXPECT_EQ(b.remainingMoves, 40u);
  EXPECT_EQ(b.nSessions, 2u);
}

TEST(Budget, IncrementalWholeGame) {
  const BudgetFigures b = sessionBudget(SessionClock{0, 30000, 200}, 0, 0);
  EXPECT_EQ(b.remainingMoves, 32u);
  EXPECT_EQ(b.total, 30200);
  EXPECT_EQ(b.available, 36400);
  EXPECT_EQ(b.max, 1023);
}

TEST(Budget, OverdrawnClockGivesANegativeBudget) {
  EXPECT_LT(sessionBudget(SessionClock{}, 10, 40000).max, 0);
}

TEST(Budget, HugeSettingsDoNotOverflow) {
  const BudgetFigures b = sessionBudget(SessionClock{1, 2147483647, 2147483647}, 1000, -2147483647);
  EXPECT_EQ(b.total, 2147483647);
  EXPECT_GT(b.max, 0);
}

// The budget never exceeds the engine's clock less the margin: the clock as "time" reported it
// for this move, or else as the session figures reckon it before this move's increment.

TEST(Budget, CappedByTheClock) {
  const struct {
    const char* what;
    uint32_t moves;
    int32_t base, increment, stSeconds;
    int reportPly, time, ply;
    int32_t max, maxTime;
  } cases[] = {
      {"default first move fits", 40, 30000, 0, 0, -1, 0, 0, 675, 675},
      {"fits with a report", 40, 30000, 0, 0, 0, 30000, 0, 675, 675},
      {"increment larger than the clock", 0, 100, 200, 0, 0, 100, 0, 177, 90},
      {"report before the opponent's move", 0, 100, 200, 0, 1, 100, 2, 182, 90},
      {"report before a new period", 5, 300, 0, 0, 9, 40, 10, 61, 30},
      {"stale report: the figures' clock", 0, 100, 200, 0, 0, 100, 2, 182, 90},
      {"no report: the figures' clock", 0, 100, 200, 0, -1, 0, 0, 182, 90},
      {"time per move", 40, 30000, 0, 1, -1, 0, 6, 729, 90},
      {"time per move above the clock", 40, 30000, 0, 5, 6, 200, 6, 4, 190},
  };
  for (const auto& c : cases) {
    TimeControl tc;
    tc.setSessions(c.moves, c.base, c.increment);
    if (c.stSeconds > 0) tc.setMoveTime(100 * c.stSeconds);
    if (c.reportPly >= 0) tc.setRemaining(c.time, c.reportPly);
    const BudgetFigures b = xboardBudget(tc, c.ply);
    EXPECT_EQ(b.max, c.max) << c.what;
    EXPECT_EQ(b.maxTime, c.maxTime) << c.what;
  }
}

TEST(Budget, LinesShowTheCapAndTheTimePerMove) {
  TimeControl tc;
  tc.setSessions(0, 100, 200);
  tc.setRemaining(100, 0);
  EXPECT_EQ(budgetLines(xboardBudget(tc, 0)),
            "# movesPerSession=0 timePerSession=100 increment=200\n"
            "# ply=0 fullMoveNumber=1 remainingMoves=32 nSessions=1\n"
            "# total=300 elapsed=200 remaining=100 available=6300 max=177\n"
            "# clock=100 margin=10 max=90\n");
  tc.setMoveTime(100);
  tc.setRemaining(100, 0);
  EXPECT_EQ(budgetLines(xboardBudget(tc, 0)), "# timePerMove=100 margin=10 max=90\n");
  tc.setSessions(40, 30000, 0);  // "level" ends the time per move
  EXPECT_EQ(tc.moveTime, 0);
}

TEST(TimeCommand, WatchReadsTheTimeUsed) {
  TimeControl tc;
  tc.setRemaining(12000, 20);  // move 11 of 40 in 5 minutes: 18000 used
  EXPECT_EQ(tc.stopwatch.reading(), 18000);
  EXPECT_EQ(sessionBudget(tc.sessions, 20, tc.stopwatch.reading()).remaining, 12000);
}

}  // namespace
}  // namespace varnu
