// The static evaluation: the score of a position from the side to move's point of view, and the
// breakdown table of its terms that the "eval" command prints.
#pragma once

#include <cstdint>
#include <string>

#include "board/position.h"
#include "eval/score_pair.h"

namespace varnu {

class EvalCache;

// Breakdown rows, in the order of their numbers.
enum EvalRow {
  RowMaterialPst = 0,
  RowPassedPawns = 1,
  RowWeakPawns = 2,
  RowKnights = 3,
  RowBishops = 4,
  RowRooks = 5,
  RowQueens = 6,
  RowKingSafety = 7,
  RowBishopPair = 8,
  RowSideToMove = 9,
  RowMateMaterial = 10,
  RowMateKingEdge = 11,
  RowMateKingDistance = 12,
  RowMateSafeCorner = 13,
  EvalRowCount = 16
};

// Per-term sums by colour: white mg, white eg, black mg, black eg.
struct EvalBreakdown {
  int16_t rows[EvalRowCount][4] = {};
  int32_t phase = 0;
  int32_t scale = 0;
};

// King distance between two 0x88 squares: the larger of the rank and file differences.
constexpr int kingDistance(int a, int b) {
  const int ranks = rankOf(a) > rankOf(b) ? rankOf(a) - rankOf(b) : rankOf(b) - rankOf(a);
  const int files = fileOf(a) > fileOf(b) ? fileOf(a) - fileOf(b) : fileOf(b) - fileOf(a);
  return ranks > files ? ranks : files;
}

// Where the term functions report their parts. The search's evaluation passes NoRecord, whose
// empty add the compiler removes, so plain and recorded evaluation share one code path and the
// plain one pays nothing; the "eval" table passes Record, which sums each part into its row.
struct NoRecord {
  void add(int, int, ScorePair) const {}
};

struct Record {
  EvalBreakdown& breakdown;
  // Adds the pair to the row's columns of the colour; the 16-bit columns wrap like ScorePairs.
  void add(int row, int colour, ScorePair value) const {
    int16_t* columns = breakdown.rows[row] + 2 * colour;
    columns[0] = int16_t(columns[0] + value.mg);
    columns[1] = int16_t(columns[1] + value.eg);
  }
};

// The score for the search window (alpha, beta); may return a bound outside the window when the
// material alone decides it. Writes phase and scale into scratch.
int evaluate(const Position& pos, int alpha, int beta, EvalBreakdown& scratch);

// The same with a local scratch record.
inline int evaluate(const Position& pos, int alpha, int beta) {
  EvalBreakdown scratch;
  return evaluate(pos, alpha, beta, scratch);
}

// The same score, with the pawn structure and the positional terms taken from a worker's caches
// where they hold them.
int evaluate(const Position& pos, int alpha, int beta, EvalCache& cache);

// The score for the full window, recording every term in a cleared breakdown.
int evaluateWithBreakdown(const Position& pos, EvalBreakdown& breakdown);

// The positional terms of both colours, each colour's sum blended once, from the side to move's
// view and clamped to -200..200. The recording variant also fills rows 1-8 of the breakdown.
int positionalScore(const Position& pos, int phase);
int positionalScore(const Position& pos, int phase, EvalBreakdown& breakdown);

// The rows in the order the breakdown table shows them, and each row's name in it.
inline constexpr int EvalShownRows[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 9};
const char* evalRowName(int row);

// The breakdown table of the position, as both protocols show it: every term by side and phase,
// the phase, the scaling and the total from White's view.
std::string evalTable(const Position& pos);

}  // namespace varnu
