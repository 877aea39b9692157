// The engine's vocabulary: squares, colours, piece types, moves and the board geometry tables.
#pragma once

#include <cstdint>

namespace varnu {

// Colours. NoColour marks an empty square.
enum Colour : uint8_t { White = 0, Black = 1, NoColour = 2 };

// Piece types, printed with the letters of ".pnbrqk".
enum PieceType : uint8_t { NoPiece = 0, Pawn = 1, Knight = 2, Bishop = 3, Rook = 4, Queen = 5, King = 6 };

inline constexpr char pieceLetters[] = ".pnbrqk";

// A board square is a 0x88 index, 16 * rank + file; 64-square sets and moves use 8 * rank + file.
inline constexpr uint8_t NoSquare = 255;

constexpr bool onBoard(int square) { return (square & 0x88) == 0; }
constexpr int rankOf(int square) { return square >> 4; }
constexpr int fileOf(int square) { return square & 15; }
constexpr int makeSquare(int rank, int file) { return 16 * rank + file; }
constexpr int square64(int square) { return 8 * (square >> 4) + (square & 15); }
constexpr int square0x88(int index) { return 16 * (index >> 3) + (index & 7); }

// Named squares used by castling and the endgame rules (0x88).
enum : uint8_t {
  A1 = 0, B1 = 1, C1 = 2, D1 = 3, E1 = 4, F1 = 5, G1 = 6, H1 = 7,
  A8 = 112, B8 = 113, C8 = 114, D8 = 115, E8 = 116, F8 = 117, G8 = 118, H8 = 119
};

// Castling rights bits, numbered as the castling codes of a move.
enum : uint8_t { CastleWK = 1, CastleWQ = 2, CastleBK = 4, CastleBQ = 8 };

// A move packs from (bits 0-5), to (6-11), kind (12-13) and an extra field (14-15).
using Move = uint16_t;
inline constexpr Move NullMove = 0;

enum MoveKind : uint8_t { NormalMove = 0, PromotionMove = 1, CastlingMove = 2, EnPassantMove = 3 };

constexpr int moveFrom(Move m) { return m & 63; }
constexpr int moveTo(Move m) { return (m >> 6) & 63; }
constexpr int moveKind(Move m) { return (m >> 12) & 3; }
constexpr int moveExtra(Move m) { return m >> 14; }
constexpr int moveFromSquare(Move m) { return square0x88(moveFrom(m)); }
constexpr int moveToSquare(Move m) { return square0x88(moveTo(m)); }

// Packs a move from 0x88 squares; extra is the double-step flag, promotion code or castling code.
constexpr Move packMove(int from, int to, int kind, int extra) {
  return Move(square64(from) | (square64(to) << 6) | (kind << 12) | (extra << 14));
}

// Board geometry, indexed by colour or direction number. Generation follows these orders.
inline constexpr int pawnStartRank[2] = {1, 6};
inline constexpr int pawnSeventhRank[2] = {6, 1};
inline constexpr int promotionRank[2] = {7, 0};
inline constexpr int pawnPush[2] = {16, -16};
inline constexpr int diagonalDirs[4] = {15, 17, -15, -17};
inline constexpr int knightOffsets[8] = {14, 31, 33, 18, -14, -31, -33, -18};
inline constexpr int rookDirs[4] = {-1, 16, 1, -16};
inline constexpr int kingOffsets[8] = {-1, 16, 1, -16, 15, 17, -15, -17};

// Square colour over the 0x88 indices 0-119: 1 dark (a1 is dark), 0 light, 2 off the board.
struct SquareColourTable {
  uint8_t colour[120];
};
constexpr SquareColourTable makeSquareColourTable() {
  SquareColourTable t{};
  for (int s = 0; s < 120; ++s)
    t.colour[s] = onBoard(s) ? uint8_t((fileOf(s) & 1) == (rankOf(s) & 1)) : uint8_t(2);
  return t;
}
inline constexpr SquareColourTable squareColour = makeSquareColourTable();

// Search score conventions: mates count down from MateScore; StoppedScore is never a score.
inline constexpr int MateScore = 32000;
inline constexpr int MateThreshold = 20000;
inline constexpr int StoppedScore = 40000;
// A win the endgame tables prove scores TablebaseWin less the plies from the root to where they
// proved it: above every evaluation, below every mate. Scores beyond DistanceThreshold, mates
// and these, are kept in the transposition table as distances from the node.
inline constexpr int TablebaseWin = 19000;
inline constexpr int MaxSearchPly = 1024;
inline constexpr int DistanceThreshold = TablebaseWin - MaxSearchPly;

}  // namespace varnu
