#include "eval/endgame.h"

#include <gtest/gtest.h>

#include "eval_test_helpers.h"

namespace varnu {
namespace {

using namespace testing_eval;

int scaleOf(const char* fen) {
  Position pos;
  EXPECT_TRUE(setFromFen(pos, fen)) << fen;
  return scaleFactor(pos);
}

TEST(ScaleFactor, FallsWithTheFiftyMoveCounter) {
  struct Case {
    const char* fen;
    int expected;
  };
  const Case cases[] = {
      {"4k3/pppp4/8/8/8/8/PPPP4/4K3 w - - 0 1", 100},
      {"4k3/pppp4/8/8/8/8/PPPP4/4K3 w - - 30 1", 91},
      {"4k3/pppp4/8/8/8/8/PPPP4/4K3 w - - 50 1", 75},
      {"4k3/pppp4/8/8/8/8/PPPP4/4K3 w - - 99 1", 1},
      {"4k3/pppp4/8/8/8/8/PPPP4/4K3 w - - 100 1", 0},
      {"4k3/pppp4/8/8/8/8/PPPP4/4K3 w - - 120 1", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(scaleOf(c.fen), c.expected) << c.fen;
}

TEST(ScaleFactor, DrawishEndingsWithFourPieces) {
  struct Case {
    const char* fen;
    int expected;
  };
  const Case cases[] = {
      // Two knights: only a cornered king with the other king close and not to move.
      {"7k/8/6K1/8/8/8/8/N1N5 w - - 0 1", 100},
      {"7k/8/6K1/8/8/8/8/N1N5 b - - 0 1", 0},
      {"7k/8/8/8/8/8/8/N1N3K1 w - - 0 1", 0},
      {"8/8/3k4/8/8/8/8/N1N3K1 w - - 0 1", 0},
      {"n1n5/8/8/8/8/8/2k5/K7 b - - 0 1", 100},
      // ... and the fifty-move factor still caps the rule's value.
      {"n1n5/8/8/8/8/8/2k5/K7 b - - 50 1", 75},
      // Rook pawn with the wrong bishop: the defender next to the promotion square draws.
      {"8/1k6/8/P7/8/8/8/2B1K3 w - - 0 1", 0},
      {"8/8/8/P7/8/8/7k/2B1K3 w - - 0 1", 50},
      {"8/1k6/8/P7/8/8/8/3BK3 w - - 0 1", 100},
      {"8/1k6/8/1P6/8/8/8/2B1K3 w - - 0 1", 100},
      {"5b2/8/8/8/7p/8/6K1/4k3 b - - 0 1", 0},
      {"5b2/8/8/8/7p/8/8/K3k3 b - - 0 1", 50},
      // Minor against minor: a cornered king hemmed in by its own piece, the enemy king in
      // place to mate and to move.
      {"6b1/8/8/8/8/1k6/8/KN6 w - - 0 1", 0},
      {"6b1/8/8/8/8/1k6/8/KN6 b - - 0 1", 25},
      {"6b1/8/8/8/8/2k5/8/KN6 b - - 0 1", 0},
      {"6b1/8/8/8/1k6/8/8/KN6 b - - 0 1", 0},
      {"6b1/8/8/8/8/1k6/8/1N1K4 b - - 0 1", 0},
      {"6n1/8/8/8/4B3/1k6/8/K7 b - - 0 1", 25},
      {"6nk/8/6K1/8/8/8/8/1N6 w - - 0 1", 25},
      {"6nk/8/7K/8/8/8/8/1N6 w - - 0 1", 25},
      {"6nk/8/5K2/8/8/8/8/1N6 w - - 0 1", 0},
      // Queen against a rook or bishop pawn on the seventh with its king beside it.
      {"1Q6/8/8/8/4K3/8/7p/7k w - - 0 1", 25},
      {"1Q6/8/8/8/4K3/8/6p1/7k w - - 0 1", 100},
      {"Q7/8/8/8/8/8/2p5/3k3K w - - 0 1", 25},
      {"8/Q7/8/8/8/5k2/2p5/7K w - - 0 1", 100},
      {"Q7/8/8/8/8/8/5p2/4k2K w - - 0 1", 25},
      {"1K6/2P5/8/8/8/8/8/q6k w - - 0 1", 25},
      {"1Q6/8/8/8/4K3/7p/8/6k1 w - - 0 1", 100},
      // Five pieces: no ending rule.
      {"7k/8/6K1/8/8/8/8/N1N1N3 w - - 0 1", 100},
  };
  for (const Case& c : cases) EXPECT_EQ(scaleOf(c.fen), c.expected) << c.fen;
}

TEST(FindMatingSide, PawnlessWithAClearMaterialEdge) {
  struct Case {
    const char* fen;
    bool found;
    int winner, white, black;
  };
  const Case cases[] = {
      {"7k/8/8/8/8/8/8/R3K3 w - - 0 1", true, White, 500, 0},
      {"7k/8/8/8/8/8/8/1B2K3 w - - 0 1", true, White, 325, 0},
      {"7k/8/8/8/8/8/8/N1N1K3 w - - 0 1", true, White, 650, 0},
      // The margin is reached with equality: rook against bishop.
      {"4k3/8/8/8/8/8/8/R2bK3 w - - 0 1", true, White, 500, 325},
      {"4k3/8/8/8/8/8/8/R2nK3 w - - 0 1", true, White, 500, 325},
      {"q3k3/8/8/8/8/8/8/4K3 w - - 0 1", true, Black, 0, 975},
      {"r3k3/8/8/8/8/8/8/Q3K3 w - - 0 1", true, White, 975, 500},
      {"r3k3/8/8/8/8/8/8/R3K3 w - - 0 1", false, NoColour, 500, 500},
      // Any pawn rules the mating evaluation out.
      {"7k/8/8/8/8/8/P7/R3K3 w - - 0 1", false, NoColour, 0, 0},
      {"7k/p7/8/8/8/8/8/R3K3 w - - 0 1", false, NoColour, 0, 0},
  };
  for (const Case& c : cases) {
    Position pos;
    ASSERT_TRUE(setFromFen(pos, c.fen)) << c.fen;
    MatingMaterial m;
    EXPECT_EQ(findMatingSide(pos, m), c.found) << c.fen;
    EXPECT_EQ(m.winner, c.winner) << c.fen;
    EXPECT_EQ(m.sum[White], c.white) << c.fen;
    EXPECT_EQ(m.sum[Black], c.black) << c.fen;
  }
}

TEST(MateEvaluation, DrivesTheKingToTheEdgeAndTheKingsTogether) {
  struct Case {
    const char* fen;
    int expected;
  };
  const Case cases[] = {
      // 500 + 2 * (7 - 2) against a king on the edge.
      {"7R/8/8/8/8/8/2K5/k7 w - - 0 1", 510},
      // The defender on d4 gets 64 * 3.
      {"7R/8/8/8/3k4/8/2K5/8 w - - 0 1", 318},
      // Seen from the defender.
      {"7R/8/8/8/3k4/8/2K5/8 b - - 0 1", -318},
      // Bishop on b1 (light): a1 and h8 are safe; c3 is two from a1.
      {"8/8/8/8/8/2k5/8/KBN5 b - - 0 1", -452},
      // Queen, phase 4: the side to move gets (8 * 4) / 24 = 1.
      {"8/8/8/8/8/8/8/k1K1Q3 w - - 0 1", 975 + 1 + 2 * 5},
      // Two knights: the scaling factor is 0 here, but the mating path is never scaled.
      {"7k/8/6K1/8/8/8/8/N1N5 b - - 0 1", -660},
  };
  for (const Case& c : cases) {
    Position pos;
    ASSERT_TRUE(setFromFen(pos, c.fen)) << c.fen;
    EXPECT_EQ(evaluate(pos, -MateScore, MateScore), c.expected) << c.fen;
    // Neither the lazy exit nor a narrow window changes the mating score.
    EXPECT_EQ(evaluate(pos, 10000, 10001), c.expected) << c.fen;
    EXPECT_EQ(evaluate(pos, -10001, -10000), c.expected) << c.fen;
  }
}

TEST(MateEvaluation, BreakdownFillsOnlyTheMatingRows) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, "8/8/8/8/8/2k5/8/KBN5 b - - 0 1"));
  EvalBreakdown b;
  EXPECT_EQ(evaluateWithBreakdown(pos, b), -452);
  EXPECT_EQ(b.phase, 2);
  EXPECT_EQ(b.scale, 100);
  for (int row = RowMaterialPst; row <= RowBishopPair; ++row)
    for (int col = 0; col < 4; ++col) EXPECT_EQ(b.rows[row][col], 0) << "row " << row;
  auto row = [&](int r) {
    return std::vector<int>{b.rows[r][0], b.rows[r][1], b.rows[r][2], b.rows[r][3]};
  };
  using Row = std::vector<int>;
  EXPECT_EQ(row(RowMateMaterial), (Row{650, 650, 0, 0}));
  EXPECT_EQ(row(RowSideToMove), (Row{0, 0, 8, 0}));
  // Recorded in the columns of the side to move, whichever colour the term credits.
  EXPECT_EQ(row(RowMateKingEdge), (Row{0, 0, 128, 128}));
  EXPECT_EQ(row(RowMateKingDistance), (Row{0, 0, 10, 10}));
  EXPECT_EQ(row(RowMateSafeCorner), (Row{0, 0, 80, 80}));
}

TEST(MateEvaluation, BreakdownCreditsTheSideToMovesColumns) {
  // White to move and winning: the defender's edge term lands in white's columns too.
  Position pos;
  ASSERT_TRUE(setFromFen(pos, "7R/8/8/8/3k4/8/2K5/8 w - - 0 1"));
  EvalBreakdown b;
  EXPECT_EQ(evaluateWithBreakdown(pos, b), 318);
  const int16_t edge[4] = {192, 192, 0, 0}, near[4] = {10, 10, 0, 0}, none[4] = {0, 0, 0, 0};
  for (int col = 0; col < 4; ++col) {
    EXPECT_EQ(b.rows[RowMateKingEdge][col], edge[col]) << col;
    EXPECT_EQ(b.rows[RowMateKingDistance][col], near[col]) << col;
    EXPECT_EQ(b.rows[RowMateSafeCorner][col], none[col]) << col;
  }
}

TEST(MateEvaluation, DarkBishopMakesH1AndA8TheSafeCorners) {
  // Bishop c1 (dark); the defender on b7 is one step from a8: 16 * 6 for the defender.
  Position pos;
  ASSERT_TRUE(setFromFen(pos, "8/1k6/8/8/8/8/8/K1BN4 w - - 0 1"));
  // White: 650 + 2 * (7 - 6); black: 64 * 1 + 16 * (7 - 1).
  EXPECT_EQ(evaluate(pos, -MateScore, MateScore), 652 - 160);
}

}  // namespace
}  // namespace varnu
