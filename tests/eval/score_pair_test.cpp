#include <gtest/gtest.h>

#include "board/fen.h"
#include "eval/score_pair.h"

namespace varnu {
namespace {

int sq(const char* name) { return 8 * (name[1] - '1') + (name[0] - 'a'); }

TEST(ScorePair, HalvesWrapIndependently) {
  ScorePair a{32767, -5};
  ScorePair b{1, 3};
  EXPECT_EQ(a + b, ScorePair(-32768, -2));
  EXPECT_EQ(ScorePair(-3, 10) - ScorePair(4, 0), ScorePair(-7, 10));
}

TEST(ScorePair, BlendTruncatesTowardZero) {
  EXPECT_EQ(blend(-10, -30, 12), -20);
  EXPECT_EQ(blend(5, 6, 23), 5);
  EXPECT_EQ(blend(-1, 0, 12), 0);
  EXPECT_EQ(blend(-25, -25, 0), -25);
  EXPECT_EQ(blend(7, 99, 24), 7);
  EXPECT_EQ(blend(8, 0, 2), 0);
}

TEST(PieceSquareTables, SpotValues) {
  struct Case {
    int colour, type;
    const char* square;
    ScorePair value;
  };
  const Case cases[] = {
      {White, Knight, "a8", {280, 290}}, {White, Knight, "h8", {280, 290}},
      {White, Knight, "b1", {276, 296}}, {Black, Knight, "a1", {280, 290}},
      {Black, Knight, "h1", {280, 290}}, {White, Pawn, "d4", {106, 100}},
      {White, Pawn, "a7", {98, 132}},    {White, Pawn, "e1", {90, 100}},
      {White, Pawn, "c6", {98, 108}},    {White, Bishop, "b5", {333, 331}},
      {White, Rook, "e7", {494, 500}},   {White, Queen, "d4", {984, 1002}},
      {White, King, "g1", {10, 20}},     {White, King, "d8", {-110, 40}},
      {Black, King, "g8", {10, 20}},     {Black, Pawn, "d5", {106, 100}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(pieceSquareValue(c.colour, c.type, sq(c.square)), c.value)
        << c.square << " type " << c.type << " colour " << c.colour;
}

TEST(PieceSquareTables, StartPositionMaterial) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, StartFen));
  EXPECT_EQ(pos.materialPst[White], ScorePair(3780, 4050));
  EXPECT_EQ(pos.materialPst[Black], ScorePair(3780, 4050));
  EXPECT_EQ(gamePhase(pos), 24);
  EXPECT_EQ(materialPstScore(pos, 24), 8);
}

TEST(GamePhase, CountsMinorAndMajorPiecesUpTo24) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, "4k3/pppppppp/8/8/8/8/PPPPPPPP/4K3 w - - 0 1"));
  EXPECT_EQ(gamePhase(pos), 0);
  ASSERT_TRUE(setFromFen(pos, "rnbqkbnr/pppppppp/8/8/8/8/1PPPPPPP/QQQQKBNR w Kkq - 0 1"));
  EXPECT_EQ(gamePhase(pos), 24);
  ASSERT_TRUE(setFromFen(pos, "4k3/8/8/8/8/8/8/R3K1N1 w - - 0 1"));
  EXPECT_EQ(gamePhase(pos), 3);
}

}  // namespace
}  // namespace varnu
