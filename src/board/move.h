// Building, comparing, printing and reading moves in coordinate notation.
#pragma once

#include <string>
#include <string_view>

#include "board/position.h"
#include "board/types.h"

namespace varnu {

// Packs a move from 0x88 squares. The extra field is doubleStep for a normal move,
// promotionPieceType - 2 for a promotion and castlingCode for castling.
constexpr Move buildMove(int fromSquare, int toSquare, int kind, int promotionPieceType,
                         int castlingCode, int doubleStep) {
  int extra = 0;
  if (kind == NormalMove) extra = doubleStep;
  if (kind == PromotionMove) extra = promotionPieceType - 2;
  if (kind == CastlingMove) extra = castlingCode;
  return packMove(fromSquare, toSquare, kind, extra);
}

// Piece type made by a promotion, 0 for any other move.
constexpr int promotionType(Move m) { return moveKind(m) == PromotionMove ? moveExtra(m) + 2 : 0; }

// Same from square, to square and promotion piece; the kind bits are not compared.
constexpr bool sameMove(Move a, Move b) {
  return (a & 0xFFF) == (b & 0xFFF) && promotionType(a) == promotionType(b);
}

constexpr bool isKiller(Move m, const PlyRecord& record) {
  return sameMove(m, record.killers[0]) || sameMove(m, record.killers[1]);
}

// The four castling moves, by castling code: e1g1, e1c1, e8g8, e8c8.
inline constexpr Move castlingMoves[4] = {
    buildMove(E1, G1, CastlingMove, 0, 0, 0), buildMove(E1, C1, CastlingMove, 0, 1, 0),
    buildMove(E8, G8, CastlingMove, 0, 2, 0), buildMove(E8, C8, CastlingMove, 0, 3, 0)};

// Coordinate notation: from, to and for a promotion the piece letter, as in e7e8q.
std::string moveToText(Move m);

// Finds the legal move named by a coordinate text (a promotion needs its letter, castling is
// written as the king's move). Returns the null move when the text names no legal move.
Move parseUserMove(Position& pos, std::string_view text);

}  // namespace varnu
