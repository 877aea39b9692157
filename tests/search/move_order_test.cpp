#include <gtest/gtest.h>

#include "board/fen.h"
#include "board/move.h"
#include "search/move_order.h"

namespace varnu {
namespace {

Position at(const char* fen) {
  Position pos;
  EXPECT_TRUE(setFromFen(pos, fen)) << fen;
  return pos;
}

// The ordering score of one move of the position, by its text.
int scoreOf(Position& pos, const char* text, Move hashMove = NullMove) {
  MoveList list;
  generateMoves(pos, inCheck(pos), list);
  scoreMoves(pos, hashMove, list);
  for (uint32_t i = 0; i < list.count; ++i)
    if (moveToText(list.entries[i].move) == text) return list.entries[i].score;
  ADD_FAILURE() << text << " is not legal";
  return 0;
}

TEST(MoveOrder, CaptureScoresAndLosingCaptures) {
  struct Case {
    const char* fen;
    const char* move;
    int score;
  };
  const Case cases[] = {
      // A rook takes a pawn defended only by a knight: losing.
      {"4k3/8/2n5/4p3/8/8/8/4R1K1 w - - 0 1", "e1e5", 64 - 3 - 50},
      // A bishop takes the same pawn: not losing.
      {"4k3/8/2n5/4p3/8/2B5/8/6K1 w - - 0 1", "c3e5", 64 - 2 + 1000},
      // A pawn takes a queen; a queen promotion without capture.
      {"4k3/8/8/3q4/4P3/8/8/6K1 w - - 0 1", "e4d5", 1000 + 256 - 1},
      {"8/4P3/8/8/8/8/k7/6K1 w - - 0 1", "e7e8q", 1000 + 32 - 1},
      // A queen takes a pawn, or a rook, defended by a pawn.
      {"4k3/5p2/4p3/8/8/8/8/4Q1K1 w - - 0 1", "e1e6", 64 - 4 - 50},
      {"4k3/5p2/4r3/8/8/8/8/4Q1K1 w - - 0 1", "e1e6", 192 - 4 - 50},
      // The king's captures are never losing.
      {"4k3/8/8/8/8/8/3p4/4K3 w - - 0 1", "e1d2", 64 - 5 + 1000},
  };
  for (const Case& c : cases) {
    Position pos = at(c.fen);
    EXPECT_EQ(scoreOf(pos, c.move), c.score) << c.fen << " " << c.move;
  }
}

TEST(MoveOrder, LosingCaptureGain) {
  Position pos = at("4k3/8/2n5/4p3/8/8/8/4R1K1 w - - 0 1");
  const Move rxp = parseUserMove(pos, "e1e5");
  EXPECT_TRUE(isLosingCapture(pos, rxp).losing);
  EXPECT_EQ(isLosingCapture(pos, rxp).gain, 125);
  pos = at("1n2k3/P7/8/8/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(isLosingCapture(pos, parseUserMove(pos, "a7b8q")).gain, 1000);
  EXPECT_EQ(isLosingCapture(pos, parseUserMove(pos, "a7b8n")).gain, 275);
  pos = at("4k3/8/8/3Pp3/8/8/8/4K3 w - e6 0 1");
  EXPECT_EQ(isLosingCapture(pos, parseUserMove(pos, "d5e6")).gain, 125);
}

TEST(MoveOrder, HashMoveFirstEvenForACapture) {
  Position pos = at("4k3/8/8/3q4/4P3/8/8/6K1 w - - 0 1");
  EXPECT_EQ(scoreOf(pos, "e4d5", parseUserMove(pos, "e4d5")), 32000);
}

TEST(MoveOrder, KillersOfThisNodeAndTheNextSameSideNode) {
  Position pos = at("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
  const Move a1a5 = parseUserMove(pos, "a1a5"), a1b1 = parseUserMove(pos, "a1b1");
  pos.history[pos.historyCount].killers[0] = a1a5;
  pos.history[pos.historyCount + 2].killers[1] = a1b1;
  EXPECT_EQ(scoreOf(pos, "a1a5"), 150 - 3);
  EXPECT_EQ(scoreOf(pos, "a1b1"), 150 - 3);
  // A quiet move otherwise scores its piece-square gain less its order value.
  const int gain = pieceSquareValue(White, Rook, 8 * 6 + 0).mg - pieceSquareValue(White, Rook, 0).mg;
  EXPECT_EQ(scoreOf(pos, "a1a7"), gain - 3);
}

TEST(MoveOrder, RecordKiller) {
  Position pos = at("4k3/8/8/3p4/8/8/8/R2QK3 w - - 0 1");
  const Move quiet = parseUserMove(pos, "a1a2"), capture = parseUserMove(pos, "d1d5");
  recordKiller(pos, capture);
  EXPECT_EQ(pos.history[0].killers[0], NullMove);
  recordKiller(pos, quiet);
  recordKiller(pos, quiet);
  EXPECT_EQ(pos.history[0].killers[0], quiet);
  EXPECT_EQ(pos.history[0].killers[1], quiet);
}

TEST(MoveOrder, PickNextMoveSwapsAsItScans) {
  MoveList list;
  list.add(1);
  list.add(2);
  list.add(3);
  list.add(4);
  list.entries[0].score = 5;
  list.entries[1].score = 5;
  list.entries[2].score = 9;
  list.entries[3].score = 7;
  EXPECT_EQ(pickNextMove(0, list)->move, 3);
  EXPECT_EQ(list.entries[2].move, 1);  // the former first entry stands where the best one was
  EXPECT_EQ(pickNextMove(1, list)->move, 4);
  EXPECT_EQ(pickNextMove(2, list)->move, 1);  // equal scores keep the order the swaps left
  EXPECT_EQ(pickNextMove(3, list)->move, 2);
  EXPECT_EQ(pickNextMove(4, list), nullptr);
}

}  // namespace
}  // namespace varnu
