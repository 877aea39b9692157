// Making and unmaking moves. Three pairs maintain different amounts of state: the trial pair for
// legality tests, the perft pair for node counting, and the full pair for the search and the game.
#pragma once

#include <cstdint>

#include "board/position.h"
#include "board/types.h"

namespace varnu {

// What a make operation saved for its unmake.
struct UndoRecord {
  uint8_t castlingRights = 0;
  uint8_t epSquare = NoSquare;
  uint8_t halfmoveClock = 0;
  uint8_t capturedType = NoPiece;  // type of the captured piece, 0 when nothing was captured
  uint8_t capturedSlot = 0;        // its slot, NoSlot when the piece had none

  bool operator==(const UndoRecord&) const = default;
};

// Full make: records the move in the current PlyRecord (its movePlayed), pushes a new one and
// keeps the key, rights, en-passant square and clock. The caller keeps historyCount below
// MaxHistory - 1.
void makeMove(Position& pos, Move m, UndoRecord& undo);
void unmakeMove(Position& pos, Move m, const UndoRecord& undo);

// Perft make: like makeMove, but the key lives on the perftKeys stack and the clock and the
// history stack are left alone.
void perftMake(Position& pos, Move m, UndoRecord& undo);
void perftUnmake(Position& pos, Move m, const UndoRecord& undo);

// Trial make for legality tests: only the pieces and the side to move change.
void trialMake(Position& pos, Move m, UndoRecord& undo);
void trialUnmake(Position& pos, Move m, const UndoRecord& undo);

// The key the move leads to as far as the pieces and the side to move make it (castling's rook,
// an en passant capture, rights and a new en-passant square are left out): a cheap guess for
// fetching the table bucket of a move not yet made.
uint64_t keyAfterMoveHint(const Position& pos, Move m);

// Null move for the search, recorded as the null move: the other side moves, the en-passant
// square is cleared.
void makeNullMove(Position& pos, UndoRecord& undo);
void unmakeNullMove(Position& pos, const UndoRecord& undo);

}  // namespace varnu
