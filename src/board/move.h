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

// Same from square, to square, kind and promotion piece; the double-step flag is not compared.
// The kind matters in Chess960, where a king's step and a castling can share both squares.
constexpr bool sameMove(Move a, Move b) {
  return (a & 0x3FFF) == (b & 0x3FFF) && promotionType(a) == promotionType(b);
}

// True when the move is one of a ply's two killers.
constexpr bool isKiller(Move m, const Move (&killers)[2]) {
  return sameMove(m, killers[0]) || sameMove(m, killers[1]);
}

// The four castling moves, by castling code: e1g1, e1c1, e8g8, e8c8.
inline constexpr Move castlingMoves[4] = {
    buildMove(E1, G1, CastlingMove, 0, 0, 0), buildMove(E1, C1, CastlingMove, 0, 1, 0),
    buildMove(E8, G8, CastlingMove, 0, 2, 0), buildMove(E8, C8, CastlingMove, 0, 3, 0)};

// How castling is written: as the king's move to its target square (standard chess), as the
// king taking its own rook (UCI in Chess960), or as "O-O" and "O-O-O" (xboard in Chess960).
enum class CastlingNotation : uint8_t { KingTarget, KingTakesRook, Castles };

// What the text of a game's moves depends on: the castling notation and each right's rook.
struct MoveNotation {
  CastlingNotation castling = CastlingNotation::KingTarget;
  uint8_t rookSquare[4] = {H1, A1, H8, A8};
};

// The notation of moves in the game of the position.
MoveNotation moveNotation(const Position& pos, CastlingNotation castling);

// Coordinate notation: from, to and for a promotion the piece letter, as in e7e8q; castling as
// the notation says.
std::string moveToText(Move m, const MoveNotation& notation = MoveNotation{});

// Finds the legal move named by a coordinate text (a promotion needs its letter) or, in the
// notation of "O-O", by "O-O"/"O-O-O". Castling is written as the notation says; in Chess960
// notation the king's move to its own rook is accepted too. Returns the null move when the
// text names no legal move.
Move parseUserMove(Position& pos, std::string_view text,
                   CastlingNotation castling = CastlingNotation::KingTarget);

}  // namespace varnu
