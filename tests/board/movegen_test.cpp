#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/make_move.h"
#include "board/move.h"
#include "board/movegen.h"

namespace varnu {
namespace {

std::vector<std::string> moveTexts(const char* fen, bool capturesOnly = false) {
  Position pos;
  EXPECT_TRUE(setFromFen(pos, fen)) << fen;
  MoveList list;
  if (capturesOnly)
    generateCaptures(pos, list);
  else
    generateMoves(pos, inCheck(pos), list);
  std::vector<std::string> texts;
  for (uint32_t i = 0; i < list.count; ++i) texts.push_back(moveToText(list.entries[i].move));
  return texts;
}

using Texts = std::vector<std::string>;

TEST(MoveGen, StartPositionOrder) {
  EXPECT_EQ(moveTexts(StartFen.data()),
            (Texts{"b1a3", "b1c3", "g1f3", "g1h3", "a2a3", "a2a4", "b2b3", "b2b4", "c2c3", "c2c4",
                   "d2d3", "d2d4", "e2e3", "e2e4", "f2f3", "f2f4", "g2g3", "g2g4", "h2h3",
                   "h2h4"}));
}

TEST(MoveGen, PawnOnSeventhWithTwoCapturesGivesTwelvePromotions) {
  const Texts all = moveTexts("1n1r2k1/2P5/8/8/8/8/8/4K3 w - - 0 1");
  ASSERT_GE(all.size(), 12u);
  const Texts pawn(all.end() - 12, all.end());  // the pawn's moves come last
  EXPECT_EQ(pawn, (Texts{"c7b8q", "c7b8n", "c7b8r", "c7b8b", "c7d8q", "c7d8n", "c7d8r", "c7d8b",
                         "c7c8q", "c7c8n", "c7c8r", "c7c8b"}));
  EXPECT_EQ(moveTexts("1n1r2k1/2P5/8/8/8/8/8/4K3 w - - 0 1", true),
            (Texts{"c7b8q", "c7d8q", "c7c8q"}));
}

TEST(MoveGen, OrderIsKingQueenRooksBishopsKnightsPawnsCastling) {
  EXPECT_EQ(moveTexts("4k3/8/8/8/8/8/6P1/RN2K2R w K - 0 1"),
            (Texts{"e1d1", "e1e2", "e1f1", "e1d2", "e1f2", "a1a2", "a1a3", "a1a4", "a1a5", "a1a6",
                   "a1a7", "a1a8", "h1g1", "h1f1", "h1h2", "h1h3", "h1h4", "h1h5", "h1h6",
                   "h1h7", "h1h8", "b1a3", "b1c3", "b1d2", "g2g3", "g2g4", "e1g1"}));
}

TEST(MoveGen, NoCastlingOutOfThroughOrIntoCheck) {
  // In check: no castling although the rights are set.
  Texts moves = moveTexts("4k3/8/8/8/8/8/4r3/R3K2R w KQ - 0 1");
  for (const std::string& m : moves) EXPECT_TRUE(m != "e1g1" && m != "e1c1") << m;
  // f1 attacked: no king side; d1 free: queen side allowed.
  moves = moveTexts("4k3/8/8/8/8/8/5r2/R3K2R w KQ - 0 1");
  EXPECT_EQ(moves.back(), "e1c1");
  EXPECT_EQ(std::count(moves.begin(), moves.end(), "e1g1"), 0);
  // g1 attacked: the king would land in check.
  moves = moveTexts("4k3/8/8/8/8/8/6r1/R3K2R w KQ - 0 1");
  EXPECT_EQ(std::count(moves.begin(), moves.end(), "e1g1"), 0);
  // b1 attacked does not matter for queen-side castling; b1 occupied does.
  moves = moveTexts("4k3/8/8/8/8/8/1r6/R3K2R w Q - 0 1");
  EXPECT_EQ(moves.back(), "e1c1");
  moves = moveTexts("4k3/8/8/8/8/8/8/RN2K2R w Q - 0 1");
  EXPECT_EQ(std::count(moves.begin(), moves.end(), "e1c1"), 0);
}

TEST(MoveGen, PinnedPieces) {
  // A knight pinned along the file has no moves.
  Texts moves = moveTexts("4r1k1/8/8/8/8/8/4N3/4K3 w - - 0 1");
  for (const std::string& m : moves) EXPECT_NE(m.substr(0, 2), "e2") << m;
  // A rook pinned along its file keeps its moves along the file, captures included.
  moves = moveTexts("4r1k1/8/8/8/8/8/4R3/4K3 w - - 0 1");
  Texts rook;
  for (const std::string& m : moves)
    if (m.substr(0, 2) == "e2") rook.push_back(m);
  EXPECT_EQ(rook, (Texts{"e2e3", "e2e4", "e2e5", "e2e6", "e2e7", "e2e8"}));
  // A bishop pinned along a diagonal moves only along it.
  moves = moveTexts("6k1/8/8/8/3q4/8/1B6/K7 w - - 0 1");
  Texts bishop;
  for (const std::string& m : moves)
    if (m.substr(0, 2) == "b2") bishop.push_back(m);
  EXPECT_EQ(bishop, (Texts{"b2c3", "b2d4"}));
}

TEST(MoveGen, EnPassantThatExposesTheKingIsRejected) {
  // Both pawns stand between the white king and a black rook on the fifth rank.
  Texts moves = moveTexts("8/8/8/K2Pp2r/8/8/8/6k1 w - e6 0 1");
  EXPECT_EQ(std::count(moves.begin(), moves.end(), "d5e6"), 0);
  moves = moveTexts("8/8/8/K2Pp3/8/8/8/6k1 w - e6 0 1");
  EXPECT_EQ(moves.front(), "d5e6");
}

TEST(MoveGen, EvasionsOnly) {
  // Double check: only king moves.
  const Texts moves = moveTexts("4k3/8/8/8/8/5n2/8/r3K2N w - - 0 1");
  for (const std::string& m : moves) EXPECT_EQ(m.substr(0, 2), "e1") << m;
  EXPECT_EQ(moves, (Texts{"e1e2", "e1f2"}));
}

TEST(MoveGen, AttackDetection) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, "4k3/8/8/3p4/8/8/8/R3K3 w - - 0 1"));
  EXPECT_TRUE(isAttacked(pos, makeSquare(3, 2), Black));   // c4 by the d5 pawn
  EXPECT_TRUE(isAttacked(pos, makeSquare(3, 4), Black));   // e4
  EXPECT_FALSE(isAttacked(pos, makeSquare(3, 3), Black));  // d4: pawns attack diagonally
  EXPECT_TRUE(isAttacked(pos, makeSquare(7, 0), White));   // a8 along the file
  EXPECT_TRUE(isAttacked(pos, makeSquare(0, 3), White));   // d1 by both king and rook
  EXPECT_FALSE(isAttacked(pos, makeSquare(7, 1), White));
}

// The quiescence list must be the full list's captures, en passant moves and queen promotions,
// in the full list's order: the search's move order, and so its tree, rests on that order.
void expectCapturesFollowFullList(Position& pos, int depth, int& checked) {
  MoveList all;
  generateMoves(pos, inCheck(pos), all);
  if (!inCheck(pos)) {
    MoveList captures;
    generateCaptures(pos, captures);
    Texts expected, actual;
    for (uint32_t i = 0; i < all.count; ++i) {
      const Move m = all.entries[i].move;
      const int kind = moveKind(m);
      const bool capture = kind != CastlingMove && pos.pieceType[moveToSquare(m)] != NoPiece;
      if (capture && kind != PromotionMove) expected.push_back(moveToText(m));
      if (kind == EnPassantMove || promotionType(m) == Queen) expected.push_back(moveToText(m));
    }
    for (uint32_t i = 0; i < captures.count; ++i)
      actual.push_back(moveToText(captures.entries[i].move));
    ASSERT_EQ(actual, expected) << fenText(pos, 1);
    ++checked;
  }
  if (depth == 0) return;
  for (uint32_t i = 0; i < all.count; ++i) {
    UndoRecord undo;
    makeMove(pos, all.entries[i].move, undo);
    expectCapturesFollowFullList(pos, depth - 1, checked);
    unmakeMove(pos, all.entries[i].move, undo);
  }
}

TEST(MoveGen, CapturesComeInTheFullListsOrder) {
  // Open tactics, promotions both ways with pins, and extra queens (one beyond the slot plan).
  for (const char* fen :
       {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1", "3q1k2/1P1P4/8/2b5/8/8/1p3PPP/R2QQK1R w - - 0 1",
        "Q7/3Q4/2q2k2/8/3Pp3/8/PPP1PPPP/Q3K2Q b - d3 0 1"}) {
    Position pos;
    ASSERT_TRUE(setFromFen(pos, fen)) << fen;
    int checked = 0;
    expectCapturesFollowFullList(pos, 3, checked);
    EXPECT_GT(checked, 1000) << fen;
  }
}

}  // namespace
}  // namespace varnu
