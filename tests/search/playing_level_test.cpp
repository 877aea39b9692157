#include "search/playing_level.h"

#include <gtest/gtest.h>

namespace varnu {

// Strength must rise with the rating at every step, and no chance choice may give away much.
TEST(PlayingLevel, PlanStrengthensWithTheRating) {
  LevelPlan previous = levelPlan(LowestElo);
  for (int elo = LowestElo + 1; elo < FullStrengthElo; ++elo) {
    const LevelPlan plan = levelPlan(elo);
    EXPECT_GE(plan.nodes, previous.nodes) << elo;
    EXPECT_LE(plan.temperature, previous.temperature) << elo;
    EXPECT_GT(plan.temperature, 0) << elo;
    EXPECT_LE(plan.maxLoss, 100) << elo;
    previous = plan;
  }
  EXPECT_GT(levelPlan(FullStrengthElo - 1).nodes, 100 * levelPlan(LowestElo).nodes);
}

TEST(PlayingLevel, ChoiceKeepsToCloseLinesAndRepeatsForASeed) {
  Searcher::RootLine lines[4];
  const int scores[4] = {50, 40, 45 - 100, -MateScore + 3};
  for (int i = 0; i < 4; ++i) lines[i].score = scores[i];
  int picked[4] = {};
  for (int ply = 0; ply < 400; ++ply) {
    const int i = chooseLine(lines, 4, LowestElo, 27, ply);
    ASSERT_TRUE(i == 0 || i == 1) << ply;  // never a line a pawn worse, nor one that is mated
    ++picked[i];
    EXPECT_EQ(i, chooseLine(lines, 4, LowestElo, 27, ply));
  }
  EXPECT_GT(picked[0], picked[1]);
  EXPECT_GT(picked[1], 0);
  // A mate found is always played.
  lines[0].score = MateScore - 5;
  for (int ply = 0; ply < 50; ++ply) EXPECT_EQ(chooseLine(lines, 4, LowestElo, 27, ply), 0);
}

}  // namespace varnu
