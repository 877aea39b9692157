// Move ordering: the hash move first, then winning captures by MVV/LVA, killers, and quiet moves
// by their piece-square gain; losing captures last. Moves are picked lazily, best first.
#pragma once

#include "board/movegen.h"
#include "board/position.h"

namespace varnu {

struct CaptureOrder {
  int score;
  bool isCaptureOrPromotion;
};

struct LosingTest {
  bool losing;
  int gain;  // material the move wins, for the quiescence delta test
};

// MVV/LVA: 64 x victim + 8 x promotion piece - attacker, by order value.
CaptureOrder captureOrderScore(const Position& pos, Move m);

// A cheap test for captures that likely lose material: a cheaper piece taking a dearer one's
// target defended by an enemy pawn (or, for rook and queen, a knight).
LosingTest isLosingCapture(const Position& pos, Move m);

// The killer moves that a node's order reads: its own record's and the one two plies on (none
// near the end of the history).
struct KillerMoves {
  Move here[2];
  Move next[2];
  bool hasNext;
};
KillerMoves killersOf(const Position& pos);

// Gives every move of the list its ordering score.
void scoreMoves(const Position& pos, Move hashMove, MoveList& list);
// The same with the killers read earlier.
void scoreMoves(const Position& pos, Move hashMove, const KillerMoves& killers, MoveList& list);

// Every ordering score that scoreMoves gives other than to the hash move, a winning capture or a
// promotion is below this: such a move wins the first pick of a list over any other.
inline constexpr int FirstPickFloor = 995;

// Selection step: brings the best-scored remaining entry to index (swapping as it scans) and
// returns it, or nullptr when index is past the end.
const MoveEntry* pickNextMove(uint32_t index, MoveList& list);

// Remembers a quiet move that caused a cutoff; call it after the move was unmade.
void recordKiller(Position& pos, Move m);

}  // namespace varnu
