#include "eval/evaluate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/make_move.h"
#include "board/movegen.h"
#include "eval/endgame.h"
#include "eval_test_helpers.h"

namespace varnu {
namespace {

using namespace testing_eval;

constexpr int FullAlpha = -MateScore, FullBeta = MateScore;

TEST(Evaluate, StartPositionScoresTheSideToMoveBonus) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, StartFen));
  EXPECT_EQ(evaluate(pos, FullAlpha, FullBeta), 8);
  ASSERT_TRUE(setFromFen(pos, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1"));
  EXPECT_EQ(evaluate(pos, FullAlpha, FullBeta), 8);
}

TEST(Evaluate, StartPositionBreakdownRows) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, StartFen));
  EvalBreakdown b;
  EXPECT_EQ(evaluateWithBreakdown(pos, b), 8);
  EXPECT_EQ(b.phase, 24);
  EXPECT_EQ(b.scale, 100);
  struct Row {
    int row, wMg, wEg, bMg, bEg;
  };
  const Row expected[] = {
      {RowMaterialPst, 3780, 4050, 3780, 4050},
      {RowPassedPawns, 0, 0, 0, 0},
      {RowWeakPawns, 0, 0, 0, 0},
      {RowKnights, -8, -16, -8, -16},
      {RowBishops, -40, -40, -40, -40},
      {RowRooks, -40, -40, -40, -40},
      {RowQueens, -15, -15, -15, -15},
      {RowKingSafety, 0, 0, 0, 0},
      {RowBishopPair, 30, 60, 30, 60},
      {RowSideToMove, 8, 0, 0, 0},
      {RowMateMaterial, 0, 0, 0, 0},
      {RowMateKingEdge, 0, 0, 0, 0},
      {RowMateKingDistance, 0, 0, 0, 0},
      {RowMateSafeCorner, 0, 0, 0, 0},
  };
  for (const Row& r : expected) {
    EXPECT_EQ(b.rows[r.row][0], r.wMg) << "row " << r.row;
    EXPECT_EQ(b.rows[r.row][1], r.wEg) << "row " << r.row;
    EXPECT_EQ(b.rows[r.row][2], r.bMg) << "row " << r.row;
    EXPECT_EQ(b.rows[r.row][3], r.bEg) << "row " << r.row;
  }
}

TEST(Evaluate, WritesTheBreakdownTable) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, "8/8/8/8/8/2k5/8/KBN5 b - - 0 1"));
  const std::string text = evalTable(pos);
  EXPECT_NE(text.find("M: King edge dist                     0    0 (   0)    128  128 ( 128)   "
                      "-128\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Phase =   2          Scaling factor = 1.00          Total evaluation = "
                      "   452\n"),
            std::string::npos)
      << text;
}

// A queen up with scale 100: the material term alone is e, the full score within e -+ 200.
constexpr const char* QueenUp = "rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

TEST(Evaluate, LazyExitReturnsTheBoundBeyondTheWindow) {
  for (const char* fen : {QueenUp, "rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1"}) {
    Position pos;
    ASSERT_TRUE(setFromFen(pos, fen));
    const int e = materialPstScore(pos, gamePhase(pos));
    const int full = evaluate(pos, FullAlpha, FullBeta);
    ASSERT_NE(full, e - 200);
    ASSERT_NE(full, e + 200);
    // Fail high: e - 200 reaches beta.
    EXPECT_EQ(evaluate(pos, e - 300, e - 200), e - 200) << fen;
    EXPECT_EQ(evaluate(pos, e - 300, e - 199), full) << fen;
    // Fail low: e + 200 does not exceed alpha.
    EXPECT_EQ(evaluate(pos, e + 200, e + 300), e + 200) << fen;
    EXPECT_EQ(evaluate(pos, e + 199, e + 300), full) << fen;
  }
}

TEST(Evaluate, NoLazyExitWhileScaling) {
  // One half-move on the fifty-move counter makes the scale 99.
  Position pos;
  ASSERT_TRUE(setFromFen(pos, "rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 1 1"));
  const int full = evaluate(pos, FullAlpha, FullBeta);
  EXPECT_EQ(evaluate(pos, 20000, 20001), full);
  EXPECT_EQ(evaluate(pos, -20001, -20000), full);
}

TEST(Evaluate, PositionalPartIsClampedTo200) {
  // Three unstoppable white pawns against a bare king with pawns: the positional sum is
  // far above 200 for white and contributes only 200, from either side.
  struct Case {
    const char* fen;
    int positional;
  };
  for (const Case c : {Case{"7k/5ppp/PPP5/8/8/8/8/K7 w - - 0 1", 200},
                       Case{"7k/5ppp/PPP5/8/8/8/8/K7 b - - 0 1", -200}}) {
    Position pos;
    ASSERT_TRUE(setFromFen(pos, c.fen));
    const int phase = gamePhase(pos);
    EvalBreakdown b;
    EXPECT_EQ(positionalScore(pos, phase, b), c.positional) << c.fen;
    EXPECT_GT(b.rows[RowPassedPawns][1] - b.rows[RowPassedPawns][3], 400) << c.fen;
    EXPECT_EQ(positionalScore(pos, phase), c.positional) << c.fen;
    EXPECT_EQ(evaluate(pos, FullAlpha, FullBeta), materialPstScore(pos, phase) + c.positional)
        << c.fen;
  }
}

TEST(Evaluate, ScalingTruncatesTowardZero) {
  // Wrong rook-pawn bishop, defender far away: scale 50. Black to move: e = -439 and the
  // positional part -200, so -639 * 50 / 100 = -319 (not -320).
  Position pos;
  ASSERT_TRUE(setFromFen(pos, "8/8/8/8/P7/8/7k/2B1K3 b - - 0 1"));
  EXPECT_EQ(scaleFactor(pos), 50);
  EXPECT_EQ(materialPstScore(pos, gamePhase(pos)), -439);
  EXPECT_EQ(evaluate(pos, FullAlpha, FullBeta), -319);

  // After 1.e4, black to move: -73 at an empty counter; 30 half-moves scale it by 91:
  // -6643 / 100 = -66 (not -67).
  ASSERT_TRUE(setFromFen(pos, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b - - 0 1"));
  EXPECT_EQ(evaluate(pos, FullAlpha, FullBeta), -73);
  ASSERT_TRUE(setFromFen(pos, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b - - 30 1"));
  EXPECT_EQ(evaluate(pos, FullAlpha, FullBeta), -66);
}

// Openings, middlegames with open files and exposed kings, promoted pieces, pawn races,
// the endings with scaling rules, and mating positions.
const char* const symmetryPositions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1",
    "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b - - 0 1",
    "rnbqkbnr/pp1ppppp/8/2p5/4P3/5N2/PPPP1PPP/RNBQKB1R b - - 1 2",
    "r1bqkbnr/pppp1ppp/2n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R b - - 3 3",
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R w - - 0 8",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w - - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w - - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w - - 1 8",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "2r3k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 30",
    "6k1/5p1p/6p1/8/8/6P1/5P1P/3R2K1 b - - 0 40",
    "r5k1/5ppp/8/8/8/8/1q3PPP/R3R1K1 w - - 0 25",
    "4r1k1/p4ppp/8/2Q5/8/8/P4PPP/3q2K1 w - - 0 30",
    "1k6/1pp5/8/8/8/8/6PP/6K1 w - - 0 50",
    "7k/5ppp/PPP5/8/8/8/8/K7 w - - 0 1",
    "7k/8/1P6/8/8/8/8/K7 b - - 0 1",
    "6k1/8/8/8/8/8/P7/7K b - - 0 1",
    "n3r2k/8/4B3/8/4N3/8/4P3/K7 w - - 0 1",
    "QQQ1k3/8/8/8/8/8/5PPP/6K1 b - - 0 1",
    "8/8/8/8/P7/8/7k/2B1K3 b - - 0 1",
    "8/1k6/8/P7/8/8/8/2B1K3 w - - 0 1",
    "6b1/8/8/8/8/1k6/8/KN6 b - - 0 1",
    "6nk/8/6K1/8/8/8/8/1N6 w - - 0 1",
    "1Q6/8/8/8/4K3/8/7p/7k w - - 0 1",
    "1K6/2P5/8/8/8/8/8/q6k w - - 0 1",
    "7R/8/8/8/3k4/8/2K5/8 w - - 0 1",
    "8/8/8/8/8/2k5/8/KBN5 b - - 0 1",
    "8/1k6/8/8/8/8/8/K1BN4 w - - 0 1",
    "7k/8/6K1/8/8/8/8/N1N5 b - - 0 1",
    "r3k3/8/8/8/8/8/8/R3K3 w - - 0 1",
    "4k3/8/8/8/8/8/8/R2bK3 w - - 0 1",
    "4k3/pppp4/8/8/8/8/PPPP4/4K3 w - - 57 80",
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - - 33 1",
    "2kr3r/ppp2ppp/2n5/2b1q3/4P3/2N5/PPP1QPPP/R1B2RK1 w - - 0 14",
    "8/5k2/8/3K4/8/8/8/8 w - - 0 70",
};

TEST(Evaluate, ColourFlipGivesTheSameScore) {
  const int windows[][2] = {{FullAlpha, FullBeta}, {-1, 0},    {0, 1},        {150, 151},
                            {-400, -399},          {900, 901}, {-1200, -1100}};
  for (const char* fen : symmetryPositions) {
    const std::string flipped = flipFen(fen);
    Position pos, mirror;
    ASSERT_TRUE(setFromFen(pos, fen)) << fen;
    ASSERT_TRUE(setFromFen(mirror, flipped)) << flipped;
    for (const auto& w : windows)
      EXPECT_EQ(evaluate(pos, w[0], w[1]), evaluate(mirror, w[0], w[1]))
          << fen << " / " << flipped << " window " << w[0] << ".." << w[1];
  }
}

// FEN of the colour-flipped board of a position reached by play (castling and en passant
// dropped, the fifty-move counter kept).
std::string flippedFen(const Position& pos) {
  std::string fen;
  for (int row = 7; row >= 0; --row) {
    const int rank = 7 - row;  // the flipped board's rank `row` is the original's rank 7 - row
    int empty = 0;
    for (int file = 0; file < 8; ++file) {
      const int s = makeSquare(rank, file);
      if (pos.pieceType[s] == NoPiece) {
        ++empty;
        continue;
      }
      if (empty) fen += char('0' + empty);
      empty = 0;
      const char letter = pieceLetters[pos.pieceType[s]];
      fen += pos.colour[s] == White ? letter : char(letter - 'a' + 'A');
    }
    if (empty) fen += char('0' + empty);
    if (row) fen += '/';
  }
  return fen + (pos.sideToMove == White ? " b" : " w") + " - - " +
         std::to_string(pos.halfmoveClock) + " 1";
}

TEST(Evaluate, ColourFlipAlongRandomGames) {
  // Pseudo-random games from the start: promotions, captures and the fifty-move counter all
  // come up, and every position must score like its colour-flipped twin.
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 16;
  };
  int compared = 0;
  for (int game = 0; game < 12; ++game) {
    Position pos;
    ASSERT_TRUE(setFromFen(pos, StartFen));
    for (int ply = 0; ply < 300; ++ply) {
      const std::string flipped = flippedFen(pos);
      Position mirror;
      ASSERT_TRUE(setFromFen(mirror, flipped)) << flipped;
      EXPECT_EQ(evaluate(pos, FullAlpha, FullBeta), evaluate(mirror, FullAlpha, FullBeta))
          << flipped;
      EXPECT_EQ(evaluate(pos, 30, 31), evaluate(mirror, 30, 31)) << flipped;
      EvalBreakdown b;
      EXPECT_EQ(evaluateWithBreakdown(pos, b), evaluate(pos, FullAlpha, FullBeta)) << flipped;
      ++compared;
      MoveList list;
      generateMoves(pos, inCheck(pos), list);
      if (list.count == 0) break;
      const Move m = list.entries[next() % list.count].move;
      UndoRecord undo;
      makeMove(pos, m, undo);
    }
  }
  EXPECT_GT(compared, 1000);
}

TEST(Evaluate, RecordingGivesTheSameScoreAsThePlainEvaluation) {
  for (const char* fen : symmetryPositions) {
    Position pos;
    ASSERT_TRUE(setFromFen(pos, fen)) << fen;
    EvalBreakdown b, scratch;
    EXPECT_EQ(evaluateWithBreakdown(pos, b), evaluate(pos, FullAlpha, FullBeta, scratch)) << fen;
    EXPECT_EQ(b.phase, scratch.phase) << fen;
    EXPECT_EQ(b.scale, scratch.scale) << fen;
  }
}

TEST(Evaluate, BreakdownRowsAddUpWithoutClampOrScaling) {
  // When nothing is clamped, scaled or mated, the blend of each colour's summed rows gives
  // the score: a check that every term is recorded exactly once, in the right colour.
  int checked = 0;
  for (const char* fen : symmetryPositions) {
    Position pos;
    ASSERT_TRUE(setFromFen(pos, fen)) << fen;
    EvalBreakdown b;
    const int score = evaluateWithBreakdown(pos, b);
    MatingMaterial m;
    if (b.scale != 100 || findMatingSide(pos, m)) continue;
    int total[2];
    for (int c = White; c <= Black; ++c) {
      ScorePair positional;
      for (int row = RowPassedPawns; row <= RowBishopPair; ++row)
        positional += ScorePair(b.rows[row][2 * c], b.rows[row][2 * c + 1]);
      total[c] = blend(positional, b.phase);
    }
    const int us = pos.sideToMove, them = us ^ 1;
    const int positional = total[us] - total[them];
    if (positional < -200 || positional > 200) continue;
    EXPECT_EQ(score, materialPstScore(pos, b.phase) + positional) << fen;
    ++checked;
  }
  EXPECT_GE(checked, 10);
}

}  // namespace
}  // namespace varnu
