#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "board/fen.h"
#include "board/make_move.h"
#include "board/move.h"
#include "board/movegen.h"
#include "board/zobrist.h"

namespace varnu {
namespace {

// Field-by-field equality, except the records above the current history and perft-key entries,
// which keep what a make wrote.
::testing::AssertionResult samePosition(const Position& a, const Position& b) {
  auto differs = [](const char* field) { return ::testing::AssertionFailure() << field; };
  if (!(a.materialPst[0] == b.materialPst[0] && a.materialPst[1] == b.materialPst[1]))
    return differs("materialPst");
  if (a.historyCount != b.historyCount) return differs("historyCount");
  for (int i = 0; i <= a.historyCount; ++i)
    if (!(a.history[i] == b.history[i])) return differs("history");
  if (a.perftKeyIndex != b.perftKeyIndex) return differs("perftKeyIndex");
  for (int i = 0; i <= a.perftKeyIndex; ++i)
    if (a.perftKeys[i] != b.perftKeys[i]) return differs("perftKeys");
  if (a.castlingRights != b.castlingRights) return differs("castlingRights");
  if (a.epSquare != b.epSquare) return differs("epSquare");
  if (a.halfmoveClock != b.halfmoveClock) return differs("halfmoveClock");
  if (a.sideToMove != b.sideToMove) return differs("sideToMove");
  if (std::memcmp(a.pieceType, b.pieceType, sizeof a.pieceType)) return differs("pieceType");
  if (std::memcmp(a.colour, b.colour, sizeof a.colour)) return differs("colour");
  if (std::memcmp(a.listSlot, b.listSlot, sizeof a.listSlot)) return differs("listSlot");
  if (!(a.pieceList[0] == b.pieceList[0] && a.pieceList[1] == b.pieceList[1]))
    return differs("pieceList");
  return ::testing::AssertionSuccess();
}

MoveList legalMoves(Position& pos) {
  MoveList list;
  generateMoves(pos, inCheck(pos), list);
  return list;
}

// Plays random games from varied positions, checking every make/unmake pair on the way.
TEST(MakeMove, EveryPairRestoresThePositionExactly) {
  const char* starts[] = {
      StartFen.data(),
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
      "rnbqkb1r/ppppp1pp/7n/4Pp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
      "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
      "8/PPPk4/8/8/8/8/4Kppp/8 w - - 0 1",
      // Pieces beyond the slot plan: a slotless knight and pawn can be captured.
      "4k3/8/8/8/8/Pn6/PPPPPPPP/NNN1K3 b - - 0 1",
  };
  std::mt19937 random(12345);
  int pairsChecked = 0;
  for (const char* fen : starts) {
    for (int game = 0; game < 20; ++game) {
      Position pos;
      ASSERT_TRUE(setFromFen(pos, fen)) << fen;
      for (int ply = 0; ply < 120; ++ply) {
        MoveList list = legalMoves(pos);
        if (list.count == 0) break;
        for (uint32_t i = 0; i < list.count; ++i) {
          const Move m = list.entries[i].move;
          const Position before = pos;
          const int to = moveToSquare(m);
          const bool capturesSlotless = pos.pieceType[to] != NoPiece && pos.listSlot[to] == NoSlot;
          UndoRecord undo;
          // The make records the move in the current record, and the unmake leaves it there.
          Position withMovePlayed = pos;
          withMovePlayed.history[withMovePlayed.historyCount].movePlayed = m;
          makeMove(pos, m, undo);
          // Slotless pieces are hashed but not walked by computeKey, so compare the changes,
          // except for the capture of such a piece, which only the incremental key sees.
          if (!capturesSlotless) {
            ASSERT_EQ(pos.key() ^ before.key(), pos.computeKey() ^ before.computeKey())
                << fen << " " << moveToText(m);
          }
          const uint64_t keyAfter = pos.key();
          unmakeMove(pos, m, undo);
          ASSERT_TRUE(samePosition(pos, withMovePlayed)) << fen << " " << moveToText(m);

          UndoRecord perftUndo;
          pos.perftKeys[pos.perftKeyIndex] = pos.key();
          const Position beforePerft = pos;
          perftMake(pos, m, perftUndo);
          ASSERT_EQ(pos.perftKeys[pos.perftKeyIndex], keyAfter);
          ASSERT_EQ(pos.historyCount, before.historyCount);
          ASSERT_EQ(pos.halfmoveClock, before.halfmoveClock);
          perftUnmake(pos, m, perftUndo);
          ASSERT_TRUE(samePosition(pos, beforePerft)) << fen << " " << moveToText(m);

          UndoRecord trialUndo;
          trialMake(pos, m, trialUndo);
          trialUnmake(pos, m, trialUndo);
          ASSERT_TRUE(samePosition(pos, beforePerft)) << fen << " " << moveToText(m);
          pos = before;
          ++pairsChecked;
        }
        if (!inCheck(pos) && ply % 7 == 3) {
          const Position before = pos;
          UndoRecord undo;
          makeNullMove(pos, undo);
          ASSERT_EQ(pos.key() ^ before.key(), pos.computeKey() ^ before.computeKey());
          EXPECT_EQ(pos.epSquare, NoSquare);
          EXPECT_EQ(pos.halfmoveClock, 0);
          unmakeNullMove(pos, undo);
          ASSERT_TRUE(samePosition(pos, before));
        }
        const Move m = list.entries[random() % list.count].move;
        UndoRecord undo;
        makeMove(pos, m, undo);
      }
    }
  }
  EXPECT_GT(pairsChecked, 10000);
}

Move play(Position& pos, const char* text) {
  const Move m = parseUserMove(pos, text);
  EXPECT_NE(m, NullMove) << text;
  UndoRecord undo;
  makeMove(pos, m, undo);
  return m;
}

TEST(MakeMove, DoubleStepSetsEnPassantOnlyWhenAPawnCanTake) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, StartFen));
  play(pos, "e2e4");
  EXPECT_EQ(pos.epSquare, NoSquare);
  play(pos, "g8f6");
  play(pos, "e4e5");
  play(pos, "d7d5");
  EXPECT_EQ(pos.epSquare, makeSquare(5, 3));
  EXPECT_EQ(pos.key(), pos.computeKey());
  EXPECT_NE(pos.key() ^ zobrist.epFile[3], pos.computeKey());
}

TEST(MakeMove, CastlingRightsFollowTheSquares) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, "r3k2r/1P6/8/8/8/8/8/R3K2R w KQkq - 0 1"));
  Position copy = pos;
  play(copy, "h1h8");
  EXPECT_EQ(copy.castlingRights, CastleWQ | CastleBQ);
  copy = pos;
  play(copy, "b7a8q");
  EXPECT_EQ(copy.castlingRights, CastleWK | CastleWQ | CastleBK);
  copy = pos;
  play(copy, "e1g1");
  EXPECT_EQ(copy.castlingRights, CastleBK | CastleBQ);
  EXPECT_EQ(copy.pieceType[F1], Rook);
  EXPECT_EQ(copy.pieceType[G1], King);
}

TEST(MakeMove, HalfmoveClock) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, "r3k2r/1P6/8/8/8/8/6P1/R3K2R w KQkq - 7 1"));
  Position copy = pos;
  play(copy, "e1g1");
  EXPECT_EQ(copy.halfmoveClock, 8);
  copy = pos;
  play(copy, "g2g4");
  EXPECT_EQ(copy.halfmoveClock, 0);
  copy = pos;
  play(copy, "b7b8n");
  EXPECT_EQ(copy.halfmoveClock, 0);
  copy = pos;
  play(copy, "a1a8");
  EXPECT_EQ(copy.halfmoveClock, 0);
}

TEST(MakeMove, HalfmoveClockSaturatesInsteadOfWrapping) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, "4k3/8/8/8/8/8/8/R3K3 w - - 254 200"));
  play(pos, "a1a2");
  EXPECT_EQ(pos.halfmoveClock, 255);
  play(pos, "e8d8");
  EXPECT_EQ(pos.halfmoveClock, 255);
}

TEST(MakeMove, CapturedPieceKeepsItsSlot) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, "4k3/8/8/3n4/4P3/8/8/4K3 w - - 0 1"));
  const int knightSlot = pos.listSlot[makeSquare(4, 3)];
  play(pos, "e4d5");
  EXPECT_EQ(pos.pieceList[Black].slots[knightSlot], NoSquare);
  EXPECT_EQ(pos.pieceList[Black].pieceCount, 1);
}

}  // namespace
}  // namespace varnu
