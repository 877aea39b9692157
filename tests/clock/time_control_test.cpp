#include <gtest/gtest.h>

#include "clock/time_control.h"

namespace varnu {
namespace {

TEST(Budget, DefaultFirstMove) {
  TimeControl tc;
  const BudgetFigures b = tc.budget(0, 0);
  EXPECT_EQ(b.max, 675);
  EXPECT_EQ(budgetLines(b),
            "# movesPerSession=40 timePerSession=30000 increment=0\n"
            "# ply=0 fullMoveNumber=1 remainingMoves=40 nSessions=1\n"
            "# total=30000 elapsed=0 remaining=30000 available=30000 max=675\n");
}

TEST(Budget, SessionBoundaries) {
  TimeControl tc;
  BudgetFigures b = tc.budget(78, 29000);
  EXPECT_EQ(b.fullMoveNumber, 40u);
  EXPECT_EQ(b.remainingMoves, 1u);
  EXPECT_EQ(b.nSessions, 1u);
  EXPECT_EQ(b.max, 900);
  b = tc.budget(80, 29000);
  EXPECT_EQ(b.fullMoveNumber, 41u);
  EXPECT_EQ(b.remainingMoves, 40u);
  EXPECT_EQ(b.nSessions, 2u);
}

TEST(Budget, IncrementalWholeGame) {
  TimeControl tc;
  tc.movesPerSession = 0;
  tc.timePerSession = 30000;
  tc.increment = 200;
  const BudgetFigures b = tc.budget(0, 0);
  EXPECT_EQ(b.remainingMoves, 32u);
  EXPECT_EQ(b.total, 30200);
  EXPECT_EQ(b.available, 36400);
  EXPECT_EQ(b.max, 1023);
}

TEST(Budget, OverdrawnClockGivesANegativeBudget) {
  TimeControl tc;
  EXPECT_LT(tc.budget(10, 40000).max, 0);
}

TEST(Budget, HugeSettingsDoNotOverflow) {
  TimeControl tc;
  tc.timePerSession = 2147483647;
  tc.increment = 2147483647;
  tc.movesPerSession = 1;
  const BudgetFigures b = tc.budget(1000, -2147483647);
  EXPECT_EQ(b.total, 2147483647);
  EXPECT_GT(b.max, 0);
}

TEST(TimeCommand, WatchReadsTheTimeUsed) {
  TimeControl tc;
  tc.setRemaining(12000, 20);  // move 11 of 40 in 5 minutes: 18000 used
  EXPECT_EQ(tc.stopwatch.reading(), 18000);
  EXPECT_EQ(tc.budget(20, tc.stopwatch.reading()).remaining, 12000);
}

TEST(TimeUp, NeverInAnalysis) {
  TimeControl tc;
  tc.maxTime = -5;
  EXPECT_TRUE(tc.timeUp());
  tc.timeControlActive = false;
  EXPECT_FALSE(tc.timeUp());
}

}  // namespace
}  // namespace varnu
