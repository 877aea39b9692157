#include <gtest/gtest.h>

#include "board/fen.h"
#include "board/position.h"
#include "board/zobrist.h"

namespace varnu {
namespace {

TEST(ZobristKeys, MatchTheEnginesGenerator) {
  EXPECT_EQ(pieceSquareKey(White, Pawn, 0), 0x6c7894f0f56da0e3ull);
  EXPECT_EQ(zobrist.castling[0], 0x0b954502e07ac1ffull);
  EXPECT_EQ(zobrist.side, 0xc49369657a0db8a3ull);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(zobrist.pieceSquare[i], 0u) << "no-piece key " << i;
}

TEST(Position, StartPositionKey) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, StartFen));
  EXPECT_EQ(pos.key(), 0x779eebd017f96451ull);
  EXPECT_EQ(pos.computeKey(), pos.key());
  EXPECT_EQ(pos.perftKeys[pos.perftKeyIndex], pos.key());
}

TEST(Position, ResetBoardEmptiesEverything) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, StartFen));
  pos.resetBoard();
  EXPECT_EQ(pos.sideToMove, NoColour);
  for (const PieceList& list : pos.pieceList) {
    for (int s = 0; s < SlotCount; ++s) EXPECT_EQ(list.slots[s], NoSquare);
    EXPECT_EQ(list.pieceCount, 0);
  }
  EXPECT_EQ(pos.historyCount, 0);
  EXPECT_EQ(pos.key(), 0u);
}

TEST(Position, SlotPlanOfTheStartPosition) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, StartFen));
  const PieceList& w = pos.pieceList[White];
  EXPECT_EQ(w.slots[0], E1);
  EXPECT_EQ(w.slots[1], D1);
  EXPECT_EQ(w.slots[2], A1);
  EXPECT_EQ(w.slots[3], H1);
  EXPECT_EQ(w.slots[4], C1);
  EXPECT_EQ(w.slots[5], F1);
  EXPECT_EQ(w.slots[6], B1);
  EXPECT_EQ(w.slots[7], G1);
  for (int s = 8; s < 16; ++s) EXPECT_EQ(w.slots[s], makeSquare(1, s - 8));
  EXPECT_EQ(w.pieceCount, 16);
  EXPECT_EQ(w.typeCount[Pawn], 8);
  // Black's pieces are met from rank 8 down: the a8 rook takes slot 2.
  EXPECT_EQ(pos.pieceList[Black].slots[2], A8);
}

TEST(Position, PiecesBeyondTheSlotPlanAreCountedButHaveNoSlot) {
  // Three white knights and eight pawns: the third knight takes the first free pawn slot.
  Position pos;
  ASSERT_TRUE(setFromFen(pos, "4k3/8/8/8/8/8/PPPPPPP1/NNN1K3 w - - 0 1"));
  EXPECT_EQ(pos.listSlot[C1], 15);
  // Nine white pawns cannot all be placed in slots: the ninth (placed last) gets none.
  ASSERT_TRUE(setFromFen(pos, "4k3/8/8/8/8/P7/PPPPPPPP/4K3 w - - 0 1"));
  EXPECT_EQ(pos.pieceList[White].typeCount[Pawn], 9);
  // Rank 3 is read before rank 2, so a3 takes slot 8 and h2 is left without one.
  EXPECT_EQ(pos.listSlot[makeSquare(2, 0)], 8);
  EXPECT_EQ(pos.listSlot[makeSquare(1, 7)], NoSlot);
  EXPECT_EQ(pos.pieceList[White].pieceCount, 10);
  // The slotless pawn is hashed but invisible to slot walks, so the walked key lacks it.
  EXPECT_NE(pos.computeKey(), pos.key());
  EXPECT_EQ(pos.pieceList[White].slots[NoSlot], makeSquare(1, 7));  // the overflow cell, not a real slot
}

}  // namespace
}  // namespace varnu
