#include "eval/pawns.h"

#include <gtest/gtest.h>

#include <bit>
#include <memory>
#include <random>

#include "board/make_move.h"
#include "board/movegen.h"
#include "board/zobrist.h"
#include "eval/eval_cache.h"
#include "eval_test_helpers.h"

namespace varnu {
namespace {

using namespace testing_eval;

TEST(PassedMask, CoversNeighbouringFilesUpToTheSeventhRank) {
  const int e4 = 8 * 3 + 4, h2 = 8 * 1 + 7, a7 = 8 * 6, d2 = 8 * 1 + 3;
  EXPECT_EQ(passedMask.mask[White][e4], squareSet({"d5"}) | squareSet({"e5"}) | squareSet({"f5"}) |
                                            squareSet({"d6"}) | squareSet({"e6"}) |
                                            squareSet({"f6"}) | squareSet({"d7"}) |
                                            squareSet({"e7"}) | squareSet({"f7"}));
  EXPECT_EQ(passedMask.mask[White][h2],
            squareSet({"g3"}) | squareSet({"h3"}) | squareSet({"g4"}) | squareSet({"h4"}) |
                squareSet({"g5"}) | squareSet({"h5"}) | squareSet({"g6"}) | squareSet({"h6"}) |
                squareSet({"g7"}) | squareSet({"h7"}));
  EXPECT_EQ(passedMask.mask[White][a7], 0u);
  EXPECT_EQ(passedMask.mask[Black][d2], 0u);
  EXPECT_EQ(passedMask.mask[Black][8 * 3 + 0],
            squareSet({"a3"}) | squareSet({"b3"}) | squareSet({"a2"}) | squareSet({"b2"}));
}

TEST(PawnInfo, FilesAndPassedPawns) {
  struct Case {
    const char* fen;
    uint8_t open, halfOpen;
    uint64_t whitePassed, blackPassed;
  };
  const Case cases[] = {
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 0, 0, 0, 0},
      // a half-open (black only), b closed, h half-open (white only), c-g open. The b2-pawn
      // faces a7 and b7 and stops both of them in turn.
      {"4k3/pp6/8/8/8/8/1P5P/4K3 w - - 0 1", 0b01111100, 0b10000001, squareSet({"h2"}), 0},
      // The h-pawn is passed: the black pawns stand on the a-file only.
      {"4k3/p7/p7/8/8/8/7P/4K3 w - - 0 1", 0b01111110, 0b10000001, squareSet({"h2"}),
       squareSet({"a7"}) | squareSet({"a6"})},
      // Pawns facing each other on neighbouring files stop each other; once past, both are free.
      {"4k3/8/3p4/8/4P3/8/8/4K3 w - - 0 1", 0b11100111, 0b00011000, 0, 0},
      {"4k3/8/8/8/4P3/3p4/8/4K3 w - - 0 1", 0b11100111, 0b00011000, squareSet({"e4"}),
       squareSet({"d3"})},
  };
  for (const Case& c : cases) {
    Loaded l;
    load(l, c.fen);
    EXPECT_EQ(l.info.openFiles, c.open) << c.fen;
    EXPECT_EQ(l.info.halfOpenFiles, c.halfOpen) << c.fen;
    EXPECT_EQ(l.info.openFileCount, std::popcount(c.open)) << c.fen;
    EXPECT_EQ(l.info.halfOpenFileCount, std::popcount(c.halfOpen)) << c.fen;
    EXPECT_EQ(l.info.passed[White], c.whitePassed) << c.fen;
    EXPECT_EQ(l.info.passed[Black], c.blackPassed) << c.fen;
  }
}

TEST(WeakPawns, IsolatedAndDoubledCountOncePerFile) {
  struct Case {
    const char* fen;
    ScorePair white;
  };
  const Case cases[] = {
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", {0, 0}},
      // Three pawns on the c-file, none on b or d: one isolated and one doubled penalty.
      {"4k3/8/8/2P5/2P5/2P5/8/4K3 w - - 0 1", {-13, -26}},
      // Doubled but supported from the d-file: not isolated, and the d-pawn is not either.
      {"4k3/8/8/8/8/2P5/2PP4/4K3 w - - 0 1", {-8, -16}},
      // Two isolated rook pawns.
      {"4k3/8/8/8/8/8/P6P/4K3 w - - 0 1", {-10, -20}},
      // a and c are isolated, neighbours on b would have saved both.
      {"4k3/8/8/8/8/8/P1P5/4K3 w - - 0 1", {-10, -20}},
      {"4k3/8/8/8/8/8/PPP5/4K3 w - - 0 1", {0, 0}},
  };
  for (const Case& c : cases) {
    Loaded l;
    load(l, c.fen);
    EXPECT_EQ(weakPawnTerm(l.info, White), c.white) << c.fen;
  }
  Loaded l;
  load(l, "4k3/2p5/2p5/2p5/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(weakPawnTerm(l.info, Black), ScorePair(-13, -26));
  EXPECT_EQ(weakPawnTerm(l.info, White), ScorePair(0, 0));
}

TEST(PassedPawns, StepsBlockingAndUnstoppable) {
  struct Case {
    const char* fen;
    int colour;
    ScorePair expected;
  };
  // Positions where the defender has a knight have no unstoppable bonus.
  const Case cases[] = {
      // e7 with e8 empty: one step.
      {"n6k/4P3/8/8/8/8/8/K7 w - - 0 1", White, {120, 140}},
      // An enemy rook on e8: two steps and blocked, (80, 95) / 4.
      {"4r2k/4P3/8/8/8/8/8/K7 w - - 0 1", White, {20, 23}},
      // An own rook on e8: two steps, not blocked.
      {"4R3/4P2k/8/8/8/8/8/K6n w - - 0 1", White, {80, 95}},
      // From the start rank the double step saves one: a2 scores like a3.
      {"1n5k/8/8/8/8/8/P7/7K w - - 0 1", White, {6, 12}},
      {"1n5k/8/8/8/8/P7/8/7K w - - 0 1", White, {6, 12}},
      // Every piece in front adds a step, wherever it stands on the file: e2 needs
      // 5 + 3 steps and is blocked, (2, 4) / 4 = (0, 1).
      {"n3r2k/8/4B3/8/4N3/8/4P3/K7 w - - 0 1", White, {0, 1}},
      // Black pawn on d2, a white bishop on d1: two steps, blocked.
      {"7k/8/8/8/8/8/3p4/K2B4 w - - 0 1", Black, {20, 23}},
      // b6 against a lone king on h8: q = b8 is 6 away, 2 steps suffice, either side to move.
      {"7k/8/1P6/8/8/8/8/K7 w - - 0 1", White, {260, 455}},
      {"7k/8/1P6/8/8/8/8/K7 b - - 0 1", White, {260, 455}},
      // The king on d7 is two squares from b8: caught.
      {"8/3k4/1P6/8/8/8/8/K7 w - - 0 1", White, {80, 95}},
      // A knight for the defender: no unstoppable bonus.
      {"6nk/8/1P6/8/8/8/8/K7 w - - 0 1", White, {80, 95}},
      // a2 against the king on g8: 5 steps, distance 6 to a8, 5 when black moves first.
      {"6k1/8/8/8/8/8/P7/7K w - - 0 1", White, {126, 252}},
      {"6k1/8/8/8/8/8/P7/7K b - - 0 1", White, {6, 12}},
      // Defending pawns do not stop the bonus; a blocked pawn never gets it.
      {"7k/7p/1P6/8/8/8/8/K7 w - - 0 1", White, {260, 455}},
      {"1n5k/8/1P6/8/8/8/8/K7 w - - 0 1", White, {10, 12}},
  };
  for (const Case& c : cases) {
    Loaded l;
    load(l, c.fen);
    EXPECT_EQ(passedPawnTerm(l.info, l.pos, c.colour), c.expected) << c.fen;
  }
}

// The evaluation caches must not change a score: over random games, each position is evaluated
// several times with caches shared by all games (the repeats find it in the positional cache)
// and without them, and the incremental pawn key is checked against the pawns on the board. The
// starts bring castling, en passant, promotions, a pawnless ending and a position set up beyond
// the slot plan (nine pawns), which bypasses the caches.
TEST(EvalCache, CachedScoresEqualUncachedOverRandomGames) {
  const char* const starts[] = {
      StartFen.data(),
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "rnbqkbnr/ppppp1pp/7n/4Pp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
      "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
      "8/8/8/8/8/2k5/8/KBN5 b - - 0 1",
      "4k3/pppppppp/8/8/8/P7/PPPPPPPP/4K3 w - - 0 1",
  };
  auto cache = std::make_unique<EvalCache>();
  std::mt19937 random(13);
  for (const char* fen : starts) {
    for (int game = 0; game < 25; ++game) {
      Position pos;
      ASSERT_TRUE(setFromFen(pos, fen)) << fen;
      for (int ply = 0; ply < 100; ++ply) {
        uint64_t pawnKey = 0;
        for (int c = White; c <= Black; ++c)
          for (uint64_t set = pos.pieces(c, Pawn); set; set &= set - 1)
            pawnKey ^= pieceSquareKey(c, Pawn, std::countr_zero(set));
        ASSERT_EQ(pos.pawnKey(), pawnKey) << fen << " ply " << ply;
        for (const int alpha : {-MateScore, -1, 150}) {
          ASSERT_EQ(evaluate(pos, alpha, alpha + 1, *cache), evaluate(pos, alpha, alpha + 1))
              << fen << " ply " << ply;
        }
        ASSERT_EQ(evaluate(pos, -MateScore, MateScore, *cache),
                  evaluate(pos, -MateScore, MateScore));
        MoveList list;
        generateMoves(pos, inCheck(pos), list);
        if (list.count == 0) break;
        const Move m = list.entries[random() % list.count].move;
        UndoRecord undo;
        makeMove(pos, m, undo);
      }
    }
  }
}

}  // namespace
}  // namespace varnu
