// 64-square sets (bit 8 * rank + file, a1 = bit 0) and the attack tables built on them. The
// Position keeps a set per colour and per piece type beside its 0x88 mailbox, so attack tests
// and mobility counts look up a table instead of walking the board square by square.
#pragma once

#include <bit>
#include <cstdint>

#include "board/types.h"

namespace varnu {

using Bitboard = uint64_t;

// The set holding one 0x88 square.
constexpr Bitboard bitOf(int square) { return Bitboard(1) << square64(square); }

// Lowest and highest member of a non-empty set, as 64-square indices.
constexpr int lowestIndex(Bitboard b) { return std::countr_zero(b); }
constexpr int highestIndex(Bitboard b) { return 63 - std::countl_zero(b); }

// Number of members. Written out so that a build for any x86-64 (which has no population-count
// instruction) inlines it instead of calling a library routine.
constexpr int popCount(Bitboard b) {
  b = b - ((b >> 1) & 0x5555555555555555ull);
  b = (b & 0x3333333333333333ull) + ((b >> 2) & 0x3333333333333333ull);
  b = (b + (b >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return int((b * 0x0101010101010101ull) >> 56);
}

// Ray directions: the first four raise the square index, the last four lower it.
enum RayDirection { North, East, NorthEast, NorthWest, South, West, SouthWest, SouthEast };
inline constexpr int rayStep0x88[8] = {16, 1, 17, 15, -16, -1, -17, -15};

struct AttackTables {
  Bitboard knight[64];
  Bitboard king[64];
  Bitboard pawn[2][64];      // the squares a pawn of the colour on the square captures on
  Bitboard ray[8][64];       // the squares along a direction up to the edge, the square excluded
  Bitboard straight[64];     // a rook's targets on an empty board
  Bitboard diagonal[64];     // a bishop's targets on an empty board
  Bitboard between[64][64];  // the squares strictly between two squares on one line, else none
};

constexpr AttackTables buildAttackTables() {
  AttackTables t{};
  for (int index = 0; index < 64; ++index) {
    const int square = square0x88(index);
    for (int i = 0; i < 8; ++i) {
      if (onBoard(square + knightOffsets[i])) t.knight[index] |= bitOf(square + knightOffsets[i]);
      if (onBoard(square + kingOffsets[i])) t.king[index] |= bitOf(square + kingOffsets[i]);
    }
    for (int colour = White; colour <= Black; ++colour) {
      for (int i = 0; i < 2; ++i) {
        const int target = square + diagonalDirs[2 * colour + i];
        if (onBoard(target)) t.pawn[colour][index] |= bitOf(target);
      }
    }
    for (int d = 0; d < 8; ++d) {
      Bitboard passed = 0;
      for (int s = square + rayStep0x88[d]; onBoard(s); s += rayStep0x88[d]) {
        t.ray[d][index] |= bitOf(s);
        t.between[index][square64(s)] = passed;
        passed |= bitOf(s);
      }
    }
    t.straight[index] =
        t.ray[North][index] | t.ray[East][index] | t.ray[South][index] | t.ray[West][index];
    t.diagonal[index] = t.ray[NorthEast][index] | t.ray[NorthWest][index] |
                        t.ray[SouthWest][index] | t.ray[SouthEast][index];
  }
  return t;
}

inline constexpr AttackTables attackTables = buildAttackTables();

// Slider targets by line: the occupancy of a line's six inner squares is gathered into a 6-bit
// index (bit i for the square i + 1 along the line) with a shift or a multiplication, and small
// tables give the targets for each index, up to and including the first occupied square.
struct LineTables {
  uint8_t rank[64][8];        // targets on a rank by inner occupancy and file
  Bitboard fillUp[8][64];     // rank targets by file and occupancy, copied to every rank
  Bitboard fileA[8][64];      // targets on the a-file by rank and inner occupancy
  Bitboard diagonalLine[64];  // the a1-h8 diagonal through the square, the square excluded
  Bitboard antiDiagonalLine[64];
};

constexpr LineTables buildLineTables() {
  LineTables t{};
  for (int occupancy = 0; occupancy < 64; ++occupancy) {
    const int line = occupancy << 1;  // the eight squares, the two ends empty
    for (int from = 0; from < 8; ++from) {
      int targets = 0;
      for (int to = from + 1; to < 8; ++to) {
        targets |= 1 << to;
        if (line & (1 << to)) break;
      }
      for (int to = from - 1; to >= 0; --to) {
        targets |= 1 << to;
        if (line & (1 << to)) break;
      }
      t.rank[occupancy][from] = uint8_t(targets);
      t.fillUp[from][occupancy] = Bitboard(targets) * 0x0101010101010101ull;
      for (int r = 0; r < 8; ++r)
        if (targets & (1 << r)) t.fileA[from][occupancy] |= Bitboard(1) << (8 * r);
    }
  }
  const AttackTables& a = attackTables;
  for (int index = 0; index < 64; ++index) {
    t.diagonalLine[index] = a.ray[NorthEast][index] | a.ray[SouthWest][index];
    t.antiDiagonalLine[index] = a.ray[NorthWest][index] | a.ray[SouthEast][index];
  }
  return t;
}

inline constexpr LineTables lineTables = buildLineTables();

// Targets along a diagonal line: the line's squares have different files, so multiplying by the
// b-file stacks each onto the eighth rank at its file.
[[gnu::always_inline]] constexpr Bitboard diagonalLineAttacks(Bitboard line, int index,
                                                              Bitboard occupied) {
  const int inner = int(((line & occupied) * 0x0202020202020202ull) >> 58);
  return line & lineTables.fillUp[index & 7][inner];
}

[[gnu::always_inline]] constexpr Bitboard straightAttacks(int index, Bitboard occupied) {
  const int rank = index >> 3, file = index & 7;
  const int rankInner = int((occupied >> (8 * rank + 1)) & 63);
  // The file moved to the a-file; the multiplication lines up its ranks 2-7 in the top six bits.
  const Bitboard fileSquares = (occupied >> file) & 0x0101010101010101ull;
  const int fileInner = int((fileSquares * 0x0004081020408000ull) >> 58);
  return (Bitboard(lineTables.rank[rankInner][file]) << (8 * rank)) |
         (lineTables.fileA[rank][fileInner] << file);
}

[[gnu::always_inline]] constexpr Bitboard diagonalAttacks(int index, Bitboard occupied) {
  return diagonalLineAttacks(lineTables.diagonalLine[index], index, occupied) |
         diagonalLineAttacks(lineTables.antiDiagonalLine[index], index, occupied);
}

}  // namespace varnu
