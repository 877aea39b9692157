#include "eval/pieces.h"

#include <gtest/gtest.h>

#include "eval_test_helpers.h"

namespace varnu {
namespace {

using namespace testing_eval;

TEST(Mobility, CountsEmptySquaresAndEnemyPiecesOnly) {
  enum Kind { KnightMoves, DiagonalMoves, StraightMoves };
  struct Case {
    const char* fen;
    const char* from;
    Kind kind;
    int expected;
  };
  const Case cases[] = {
      {"4k3/8/8/8/8/8/8/N3K3 w - - 0 1", "a1", KnightMoves, 2},
      // All eight targets empty or enemy; then one of them held by an own pawn.
      {"4k3/8/3p1p2/2p3p1/4N3/2p3p1/3p1p2/4K3 w - - 0 1", "e4", KnightMoves, 8},
      {"4k3/8/3p1p2/2p3p1/4N3/2p3P1/3p1p2/4K3 w - - 0 1", "e4", KnightMoves, 7},
      // Six empty squares up the long diagonal and the enemy queen on h8.
      {"7q/8/8/8/8/8/8/B1K4k w - - 0 1", "a1", DiagonalMoves, 7},
      // An own piece ends the ray without a count.
      {"7q/8/8/8/8/2P5/8/B1K4k w - - 0 1", "a1", DiagonalMoves, 1},
      // Rook a1: b1-d1 up to the own king, a2 held by an own pawn.
      {"4k3/8/8/8/8/8/P7/R3K3 w - - 0 1", "a1", StraightMoves, 3},
      // Rook d4 on an empty board apart from an enemy pawn on d6 and the kings.
      {"4k3/8/3p4/8/3R4/8/8/4K3 w - - 0 1", "d4", StraightMoves, 7 + 3 + 2},
  };
  for (const Case& c : cases) {
    Loaded l;
    load(l, c.fen);
    const int from = square(c.from);
    const int colour = l.pos.colour[from];
    const int m = c.kind == KnightMoves     ? knightMobility(l.pos, from, colour)
                  : c.kind == DiagonalMoves ? diagonalMobility(l.pos, from, colour)
                                            : straightMobility(l.pos, from, colour);
    EXPECT_EQ(m, c.expected) << c.fen;
  }
}

TEST(PieceTerms, MobilityWeightsAndFileBonuses) {
  struct Case {
    const char* fen;
    int colour;
    ScorePair expected;
  };
  const Case cases[] = {
      // Knight a1 with two targets: (8 * 2 - 20, 6 * 2 - 20).
      {"4k3/8/8/8/8/8/8/N3K3 w - - 0 1", White, {-4, -8}},
      // Central knight with eight targets: (44, 28).
      {"4k3/8/3p1p2/2p3p1/4N3/2p3p1/3p1p2/4K3 w - - 0 1", White, {44, 28}},
      // Bishop a1 reaching seven squares: (43, 29).
      {"7q/8/8/8/8/8/8/B1K4k w - - 0 1", White, {43, 29}},
      // Black queen d8 boxed in by its pawns and king, reaching a8-c8 only:
      // (3 * 3 - 15, 2 * 3 - 15); the d-file is closed, so no queen file bonus.
      {"3qk3/2ppp3/8/8/8/8/3P4/4K3 w - - 0 1", Black, {-6, -9}},
      // Start position rooks and knights and bishops of one colour add up to the table's rows.
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
       White,
       {-8 - 40 - 40 - 15, -16 - 40 - 40 - 15}},
  };
  for (const Case& c : cases) {
    Loaded l;
    load(l, c.fen);
    EXPECT_EQ(pieceTerms(l.pos, l.info, c.colour), c.expected) << c.fen;
  }
}

TEST(RookFileBonus, OpenFileByScarcityAndKingFile) {
  struct Case {
    const char* fen;
    const char* rook;
    ScorePair expected;
  };
  const Case cases[] = {
      // The only open file, enemy king on it: (30, 20) + (4, 2).
      {"4k3/pppp1ppp/8/8/8/8/PPPP1PPP/4R1K1 b - - 0 1", "e1", {34, 22}},
      // Enemy king one file away: + (2, 2); further away: nothing more.
      {"3k4/pppp1ppp/8/8/8/8/PPPP1PPP/4R1K1 w - - 0 1", "e1", {32, 22}},
      {"1k6/pppp1ppp/8/8/8/8/PPPP1PPP/4R1K1 w - - 0 1", "e1", {30, 20}},
      // Two open files (d, e): (24, 16).
      {"1k6/ppp2ppp/8/8/8/8/PPP2PPP/4R1K1 w - - 0 1", "e1", {24, 16}},
      // Half-open files take the entry of their count: one (e) gives (12, 8), two give
      // (10, 7), whichever side's pawns stand on the file.
      {"1k6/pppp1ppp/8/8/8/8/PPPPPPPP/4R1K1 w - - 0 1", "e1", {12, 8}},
      {"1k6/ppp2ppp/8/8/8/8/PPPPPPPP/4R1K1 w - - 0 1", "e1", {10, 7}},
      {"1k6/pppppppp/8/8/8/8/PPP2PPP/4R1K1 w - - 0 1", "e1", {10, 7}},
      // A closed file: nothing.
      {"1k6/pppppppp/8/8/8/8/PPPPPPPP/4R1K1 w - - 0 1", "e1", {0, 0}},
  };
  for (const Case& c : cases) {
    Loaded l;
    load(l, c.fen);
    const int from = square(c.rook);
    EXPECT_EQ(rookFileBonus(l.pos, l.info, from, l.pos.colour[from]), c.expected) << c.fen;
  }
}

TEST(QueenFileBonus, OpenFileAtOrBesideTheEnemyKing) {
  struct Case {
    const char* fen;
    ScorePair expected;
  };
  const Case cases[] = {
      {"4k3/pppp1ppp/8/8/8/8/PPPP1PPP/4Q1K1 b - - 0 1", {4, 2}},
      {"5k2/pppp1ppp/8/8/8/8/PPPP1PPP/4Q1K1 w - - 0 1", {4, 2}},
      {"6k1/pppp1ppp/8/8/8/8/PPPP1PPP/4Q1K1 w - - 0 1", {0, 0}},
      // Half-open is not enough.
      {"4k3/pppp1ppp/8/8/8/8/PPPPPPPP/4Q1K1 w - - 0 1", {0, 0}},
  };
  for (const Case& c : cases) {
    Loaded l;
    load(l, c.fen);
    EXPECT_EQ(queenFileBonus(l.pos, l.info, square("e1"), White), c.expected) << c.fen;
  }
}

TEST(KingShield, PatternsAndCounts) {
  struct Case {
    int colour;
    const char* king;
    std::initializer_list<const char*> pawns;
    int pattern, count;
  };
  const Case cases[] = {
      {White, "g1", {"f2", "g2", "h2"}, 0b000111, 0},
      // f2 and f3 empty: one missing pawn.
      {White, "g1", {"g2", "h2"}, 0b000110, 1},
      // h2 empty as well: two.
      {White, "g1", {"g2"}, 0b000010, 2},
      // f-side covered from two ranks ahead still counts as covered.
      {White, "g1", {"f3", "g2", "h2"}, 0b001110, 0},
      // The a-file edge sets bits 0 and 3; b2 sets bit 2.
      {White, "a1", {"b2"}, 0b001101, 0},
      {White, "h1", {}, 0b100100, 1},
      // On the last two ranks no pawn can stand in front.
      {White, "g8", {}, 0b111111, 0},
      {White, "g7", {}, 0b111111, 0},
      {White, "g6", {}, 0b111000, 1},
      {Black, "g8", {"f7", "g7", "h7"}, 0b000111, 0},
      {Black, "g8", {"g7", "h7"}, 0b000110, 1},
      {Black, "h8", {"g7"}, 0b100101, 0},
      {Black, "b1", {}, 0b111111, 0},
      {Black, "b3", {"a2", "c2"}, 0b111101, 0},
  };
  for (const Case& c : cases) {
    const int p = kingShieldPattern(c.colour, square(c.king), squareSet(c.pawns));
    EXPECT_EQ(p, c.pattern) << c.king << " colour " << c.colour;
    EXPECT_EQ(shieldTable.count[p], c.count) << c.king << " colour " << c.colour;
  }
}

TEST(KingSafety, ShieldAndOpenFilesScaledByEnemyHeavyPieces) {
  struct Case {
    const char* fen;
    ScorePair white;
  };
  const Case cases[] = {
      // Open g-file at the king, shield intact (f2, h2); three rooks and a queen make h = 2.
      {"rr1qk2r/pppppp1p/8/8/8/8/5P1P/6K1 w - - 0 1", {-32, -8}},
      // One rook: h = 1.
      {"4k2r/pppppp1p/8/8/8/8/5P1P/6K1 w - - 0 1", {-16, -4}},
      // No heavy pieces: open files cost nothing.
      {"4k3/pppppp1p/8/8/8/8/5P1P/6K1 w - - 0 1", {0, 0}},
      // Open f-, g- and h-files beside and at the king, queen and rook: h = 2, no shield
      // on either side: 2 * (-18, -8) + (-32, -8) + 2 * (-16, -4).
      {"3qk2r/ppppp3/8/8/8/8/8/6K1 w - - 0 1", {-100, -32}},
  };
  for (const Case& c : cases) {
    Loaded l;
    load(l, c.fen);
    EXPECT_EQ(kingSafetyTerm(l.pos, l.info, White), c.white) << c.fen;
  }
}

}  // namespace
}  // namespace varnu
