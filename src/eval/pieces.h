// Piece terms: mobility of knights, bishops, rooks and queens, the rook and queen file bonuses,
// and king safety from the pawn shield and the open files at the king.
#pragma once

#include <cstdint>

#include "board/position.h"
#include "eval/evaluate.h"
#include "eval/pawns.h"
#include "eval/score_pair.h"

namespace varnu {

// Rook on an open file, by the number of open files: the scarcer they are, the more one is worth.
// clang-format off
inline constexpr ScorePair rookOpenFileBonus[9] = {
    {0, 0}, {30, 20}, {24, 16}, {18, 12}, {12, 8}, {9, 6}, {6, 4}, {3, 2}, {0, 0}};  // 0-8 files
// clang-format on

// Rook on a half-open file, by the number of half-open files.
// clang-format off
inline constexpr ScorePair rookHalfOpenFileBonus[9] = {
    {0, 0}, {12, 8}, {10, 7}, {8, 5}, {6, 4}, {4, 3}, {3, 2}, {2, 1}, {0, 0}};  // 0-8 files
// clang-format on

// Rook on an open file at the enemy king's file, or beside it; queen on an open file at or
// beside it.
inline constexpr ScorePair rookOnKingFileBonus{4, 2};
inline constexpr ScorePair rookBesideKingFileBonus{2, 2};
inline constexpr ScorePair queenNearKingFileBonus{4, 2};

// Number of target squares a piece of the colour reaches: empty squares and enemy pieces count.
int knightMobility(const Position& pos, int square, int colour);
int diagonalMobility(const Position& pos, int square, int colour);
int straightMobility(const Position& pos, int square, int colour);

ScorePair rookFileBonus(const Position& pos, const PawnInfo& info, int square, int colour);
ScorePair queenFileBonus(const Position& pos, const PawnInfo& info, int square, int colour);

// The six squares in front of the king as bits: 0-2 one rank ahead on files f-1, f, f+1, 3-5 two
// ranks ahead. A bit is set by an own pawn, or where no pawn can stand (off the board, or on
// the first or last rank).
int kingShieldPattern(int colour, int kingSquare, uint64_t ownPawns);

// Shield count 0..2 per pattern: one for a missing pawn in front on the f-1 side (both ranks
// empty), one for an empty square one rank ahead on the f+1 side.
struct ShieldTable {
  uint8_t count[64];
};

constexpr ShieldTable buildShieldTable() {
  ShieldTable t{};
  for (int p = 0; p < 64; ++p)
    t.count[p] = uint8_t(((p & 0b1001) == 0 ? 1 : 0) + ((p & 0b0100) == 0 ? 1 : 0));
  return t;
}

inline constexpr ShieldTable shieldTable = buildShieldTable();

// Penalties for each shield count, and for open files at and beside the king, the latter scaled
// by h = min(2, enemy rooks and queens).
inline constexpr ScorePair shieldPenalty{-18, -8};
inline constexpr ScorePair openKingFilePenalty{-16, -4};
inline constexpr ScorePair openFileBesideKingPenalty{-8, -2};

template <class Recorder>
ScorePair kingSafetyTerm(const Position& pos, const PawnInfo& info, int colour,
                         const Recorder& recorder);
inline ScorePair kingSafetyTerm(const Position& pos, const PawnInfo& info, int colour) {
  return kingSafetyTerm(pos, info, colour, NoRecord{});
}

// Mobility of every knight, bishop, rook and queen of the colour, with the file bonuses.
template <class Recorder>
ScorePair pieceTerms(const Position& pos, const PawnInfo& info, int colour,
                     const Recorder& recorder);
template <>
ScorePair pieceTerms(const Position& pos, const PawnInfo& info, int colour,
                     const NoRecord& recorder);
template <>
ScorePair pieceTerms(const Position& pos, const PawnInfo& info, int colour,
                     const Record& recorder);
inline ScorePair pieceTerms(const Position& pos, const PawnInfo& info, int colour) {
  return pieceTerms(pos, info, colour, NoRecord{});
}

}  // namespace varnu
