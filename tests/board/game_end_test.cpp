#include <gtest/gtest.h>

#include "board/fen.h"
#include "board/game_end.h"
#include "board/make_move.h"
#include "board/move.h"

namespace varnu {
namespace {

void play(Position& pos, const char* text) {
  const Move m = parseUserMove(pos, text);
  ASSERT_NE(m, NullMove) << text;
  UndoRecord undo;
  makeMove(pos, m, undo);
}

struct EndCase {
  const char* fen;
  const char* output;
  bool over;
};

TEST(GameEnd, ResultLines) {
  const EndCase cases[] = {
      {"rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3",
       "0-1 {Black wins by checkmate}", true},
      {"7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", "1/2-1/2 {Stalemate}", true},
      {"R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1", "1-0 {White wins by checkmate}", true},
      {"4k3/8/8/8/8/8/8/2B1K3 w - - 0 1", "1/2-1/2 {Draw by insufficient material}", true},
      {"4k3/8/8/8/8/8/8/1N2K3 b - - 0 1", "1/2-1/2 {Draw by insufficient material}", true},
      {"4k3/8/8/8/8/8/8/4K3 w - - 0 1", "1/2-1/2 {Draw by insufficient material}", true},
      {"4k3/8/8/8/8/8/8/1NN1K3 w - - 0 1", "", false},
      {"4k1n1/8/8/8/8/8/8/2B1K3 w - - 0 1", "", false},
      {"4k3/8/8/8/8/8/8/R3K3 w - - 100 80", "", false},
  };
  for (const EndCase& c : cases) {
    Position pos;
    ASSERT_TRUE(setFromFen(pos, c.fen)) << c.fen;
    const GameEnd end = gameEnd(pos);
    EXPECT_EQ(end != GameEnd::None, c.over) << c.fen;
    EXPECT_EQ(gameEndText(end), c.output) << c.fen;
  }
}

TEST(GameEnd, FoolsMate) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, StartFen));
  for (const char* m : {"f2f3", "e7e5", "g2g4", "d8h4"}) play(pos, m);
  EXPECT_EQ(gameEnd(pos), GameEnd::BlackMates);
}

TEST(CheckDraw, FiftyMoveRule) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, "4k3/8/8/8/8/8/8/R3K3 w - - 100 80"));
  EXPECT_EQ(checkDraw(pos).code, FiftyMoveDraw);
  EXPECT_TRUE(checkDraw(pos).drawn);
  ASSERT_TRUE(setFromFen(pos, "4k3/8/8/8/8/8/8/R3K3 w - - 99 80"));
  EXPECT_FALSE(checkDraw(pos).drawn);
}

TEST(CheckDraw, RepetitionsCountThroughTheChain) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, StartFen));
  const char* shuffle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
  for (const char* m : shuffle) {
    EXPECT_FALSE(checkDraw(pos).drawn);
    play(pos, m);
  }
  DrawResult first = checkDraw(pos);
  EXPECT_TRUE(first.drawn);
  EXPECT_EQ(first.code, NoDraw);
  for (const char* m : shuffle) {
    checkDraw(pos);
    play(pos, m);
  }
  DrawResult third = checkDraw(pos);
  EXPECT_TRUE(third.drawn);
  EXPECT_EQ(third.code, RepetitionDraw);
  EXPECT_EQ(gameEnd(pos), GameEnd::None);
}

TEST(CheckDraw, NoRepetitionSearchBelowFourHalfmoves) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, "4k3/8/8/8/8/8/4P3/R3K3 w - - 0 1"));
  play(pos, "a1a2");
  play(pos, "e8d8");
  play(pos, "a2a1");
  play(pos, "d8e8");
  EXPECT_TRUE(checkDraw(pos).drawn);  // four reversible half-moves: found
  ASSERT_TRUE(setFromFen(pos, "4k3/8/8/8/8/8/4P3/R3K3 w - - 0 1"));
  play(pos, "a1a2");
  play(pos, "e8d8");
  play(pos, "e2e3");  // a pawn move resets the clock
  play(pos, "d8e8");
  EXPECT_FALSE(checkDraw(pos).drawn);
}

}  // namespace
}  // namespace varnu
