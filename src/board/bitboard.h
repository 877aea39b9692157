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

// The squares a slider on the square reaches along a direction, up to and including the first
// occupied one. A sentinel bit at the far end of the board stands in for the edge, whose ray
// beyond is empty, so no branch is needed.
template <int Direction>
constexpr Bitboard rayAttacks(int index, Bitboard occupied) {
  const Bitboard ray = attackTables.ray[Direction][index];
  if constexpr (Direction < South) {
    const int blocker = lowestIndex((ray & occupied) | (Bitboard(1) << 63));
    return ray ^ attackTables.ray[Direction][blocker];
  } else {
    const int blocker = highestIndex((ray & occupied) | 1);
    return ray ^ attackTables.ray[Direction][blocker];
  }
}

constexpr Bitboard straightAttacks(int index, Bitboard occupied) {
  return rayAttacks<North>(index, occupied) | rayAttacks<East>(index, occupied) |
         rayAttacks<South>(index, occupied) | rayAttacks<West>(index, occupied);
}

constexpr Bitboard diagonalAttacks(int index, Bitboard occupied) {
  return rayAttacks<NorthEast>(index, occupied) | rayAttacks<NorthWest>(index, occupied) |
         rayAttacks<SouthWest>(index, occupied) | rayAttacks<SouthEast>(index, occupied);
}

}  // namespace varnu
