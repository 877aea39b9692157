#include "eval/evaluate.h"

#include "eval/score_pair.h"

namespace varnu {

// Material and placement only, until the positional terms land.
int evaluate(const Position& pos, int, int, EvalBreakdown& scratch) {
  scratch.phase = gamePhase(pos);
  scratch.scale = 100;
  return materialPstScore(pos, scratch.phase);
}

int evaluateWithBreakdown(const Position& pos, EvalBreakdown& breakdown) {
  return evaluate(pos, -MateScore, MateScore, breakdown);
}

void printEvalBreakdown(Output&, const Position&) {}

}  // namespace varnu
