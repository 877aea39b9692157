// Attack detection and strictly legal move generation in the engine's fixed order.
#pragma once

#include <cstdint>

#include "board/position.h"
#include "board/types.h"

namespace varnu {

struct MoveEntry {
  Move move;
  int16_t score;
};

// Moves of one position with an ordering score each. Generation silently drops moves beyond
// the capacity, which no legal chess position reaches.
struct MoveList {
  static constexpr uint32_t Capacity = 255;
  MoveEntry entries[Capacity];
  uint32_t count = 0;

  void add(Move m) {
    if (count < Capacity) entries[count++] = {m, 0};
  }
};

// True when a piece of colour byColour attacks the square.
bool isAttacked(const Position& pos, int square, int byColour);

// True when the side to move's king is attacked.
inline bool inCheck(const Position& pos) {
  return isAttacked(pos, pos.kingSquare(pos.sideToMove), pos.sideToMove ^ 1);
}

// Appends all legal moves of the side to move; inCheck must say whether it is in check.
void generateMoves(Position& pos, bool inCheck, MoveList& list);

// Appends the moves of the piece on the square that generateMoves would list, less castling and
// en passant, in the same order; none unless the side to move has a piece there that its slots
// hold. Meant for positions where the side to move is not in check.
void generatePieceMoves(Position& pos, int from, MoveList& list);

// The number of moves generateMoves would list, counted without listing them.
uint32_t countMoves(Position& pos, bool inCheck);

// Appends the legal quiescence moves: captures, en passant and queen promotions (the quiet one
// included). Meant for positions where the side to move is not in check.
void generateCaptures(Position& pos, MoveList& list);

}  // namespace varnu
