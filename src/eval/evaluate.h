// The static evaluation: the score of a position from the side to move's point of view, and the
// breakdown table of its terms that the "eval" command prints.
#pragma once

#include <cstdint>

#include "board/output.h"
#include "board/position.h"

namespace varnu {

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

// The score for the search window (alpha, beta); may return a bound outside the window when the
// material alone decides it. Writes phase and scale into scratch.
int evaluate(const Position& pos, int alpha, int beta, EvalBreakdown& scratch);

// The same with a local scratch record.
inline int evaluate(const Position& pos, int alpha, int beta) {
  EvalBreakdown scratch;
  return evaluate(pos, alpha, beta, scratch);
}

// The score for the full window, recording every term in a cleared breakdown.
int evaluateWithBreakdown(const Position& pos, EvalBreakdown& breakdown);

// Prints the breakdown table of the position.
void printEvalBreakdown(Output& out, const Position& pos);

}  // namespace varnu
