#include <gtest/gtest.h>

#include "board/fen.h"
#include "board/move.h"

namespace varnu {
namespace {

struct ParseCase {
  const char* fen;
  const char* text;
  const char* expected;  // nullptr when the text must be refused
};

TEST(ParseUserMove, AcceptsExactlyTheLegalMoves) {
  const char* promo = "8/4P3/8/8/8/8/k7/4K3 w - - 0 1";
  const char* castle = "4k3/8/8/8/8/8/8/4K2R w K - 0 1";
  const ParseCase cases[] = {
      {StartFen.data(), "e2e4", "e2e4"},   {StartFen.data(), "E2E4", "e2e4"},
      {StartFen.data(), "e2E4", "e2e4"},   {StartFen.data(), "e2e5", nullptr},
      {StartFen.data(), "e2e4q", nullptr}, {StartFen.data(), "e2", nullptr},
      {StartFen.data(), "i2i4", nullptr},  {StartFen.data(), "e0e1", nullptr},
      {StartFen.data(), "e9e8", nullptr},  {promo, "e7e8", nullptr},
      {promo, "e7e8q", "e7e8q"},           {promo, "e7e8Q", "e7e8q"},
      {promo, "e7e8n", "e7e8n"},           {promo, "e7e8k", nullptr},
      {promo, "e7e8qxyz", "e7e8q"},        {castle, "e1g1", "e1g1"},
      {castle, "e1h1", nullptr},
  };
  for (const ParseCase& c : cases) {
    Position pos;
    ASSERT_TRUE(setFromFen(pos, c.fen));
    const Move m = parseUserMove(pos, c.text);
    if (c.expected) {
      EXPECT_EQ(moveToText(m), c.expected) << c.text;
    } else {
      EXPECT_EQ(m, NullMove) << c.text;
    }
  }
}

TEST(ParseUserMove, DoubleStepAndCastlingCarryTheirKinds) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, StartFen));
  const Move m = parseUserMove(pos, "e2e4");
  EXPECT_EQ(moveKind(m), NormalMove);
  EXPECT_EQ(moveExtra(m), 1);
  ASSERT_TRUE(setFromFen(pos, "4k3/8/8/8/8/8/8/4K2R w K - 0 1"));
  EXPECT_EQ(parseUserMove(pos, "e1g1"), castlingMoves[0]);
}

TEST(MoveText, CastlingPromotionAndNullMove) {
  EXPECT_EQ(moveToText(24708), "e1c1");
  EXPECT_EQ(castlingMoves[0], 8580);
  EXPECT_EQ(castlingMoves[1], 24708);
  EXPECT_EQ(castlingMoves[2], 44988);
  EXPECT_EQ(castlingMoves[3], 61116);
  EXPECT_EQ(moveToText(castlingMoves[3]), "e8c8");
  EXPECT_EQ(moveToText(buildMove(makeSquare(6, 1), makeSquare(7, 0), PromotionMove, Knight, 0, 0)),
            "b7a8n");
  EXPECT_EQ(moveToText(NullMove), "a1a1");
}

// In Chess960 a king's step and a castling can share both squares (king b1, rook a1: b1c1), so
// the kind tells them apart; the double-step flag does not count.
TEST(MoveText, SameMoveComparesSquaresKindAndPromotion) {
  const Move queen = buildMove(makeSquare(6, 4), makeSquare(7, 4), PromotionMove, Queen, 0, 0);
  const Move rook = buildMove(makeSquare(6, 4), makeSquare(7, 4), PromotionMove, Rook, 0, 0);
  EXPECT_FALSE(sameMove(queen, rook));
  EXPECT_FALSE(sameMove(buildMove(B1, C1, NormalMove, 0, 0, 0), buildMove(B1, C1, CastlingMove, 0, 1, 0)));
  const int e2 = makeSquare(1, 4), e4 = makeSquare(3, 4);
  EXPECT_TRUE(sameMove(buildMove(e2, e4, NormalMove, 0, 0, 1), buildMove(e2, e4, NormalMove, 0, 0, 0)));
  EXPECT_EQ(promotionType(queen), Queen);
  EXPECT_EQ(promotionType(castlingMoves[0]), 0);
}

}  // namespace
}  // namespace varnu
