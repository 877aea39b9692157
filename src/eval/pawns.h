// Pawn structure: the PawnInfo summary of both colours' pawns, the "Weak pawns" and "Passed
// pawns" terms that read it, and the per-worker cache of the parts that depend on the pawns only.
#pragma once

#include <cstdint>

#include "board/position.h"
#include "eval/evaluate.h"
#include "eval/score_pair.h"

namespace varnu {

// Pawn sets are 64-square sets: bit 8 * rank + file, a1 = bit 0, h8 = bit 63.
struct PawnInfo {
  uint64_t pawns[2] = {};
  uint64_t passed[2] = {};
  uint8_t pawnsOnFile[2][8] = {};
  // Bit f set when file f holds no pawn at all, or pawns of one colour only.
  uint8_t openFiles = 0;
  uint8_t halfOpenFiles = 0;
  uint8_t openFileCount = 0;
  uint8_t halfOpenFileCount = 0;
};

constexpr uint64_t squareBit(int rank, int file) { return uint64_t(1) << (8 * rank + file); }

// For a pawn of each colour on each square: the squares on its own and the neighbouring files
// strictly ahead of it, up to its seventh rank. No enemy pawn there means the pawn is passed.
struct PassedMaskTable {
  uint64_t mask[2][64];
};

constexpr PassedMaskTable buildPassedMasks() {
  PassedMaskTable t{};
  for (int r = 1; r <= 6; ++r) {
    for (int f = 0; f < 8; ++f) {
      for (int df = -1; df <= 1; ++df) {
        const int file = f + df;
        if (file < 0 || file > 7) continue;
        for (int ahead = r + 1; ahead <= 6; ++ahead)
          t.mask[White][8 * r + f] |= squareBit(ahead, file);
        for (int ahead = r - 1; ahead >= 1; --ahead)
          t.mask[Black][8 * r + f] |= squareBit(ahead, file);
      }
    }
  }
  return t;
}

inline constexpr PassedMaskTable passedMask = buildPassedMasks();

// Passed-pawn bonus by the steps the pawn still needs, counting a step for every piece in its way.
// clang-format off
inline constexpr ScorePair passedBonus[12] = {
    {0, 0}, {120, 140}, {80, 95}, {40, 50}, {10, 18}, {6, 12},  // steps 0-5
    {4, 8}, {3, 6},     {2, 4},   {1, 2},   {1, 2},   {1, 2}};  // steps 6-11
// clang-format on

// Extra bonus for a passed pawn that the defending king, with no pieces to help, cannot catch.
// clang-format off
inline constexpr ScorePair unstoppableBonus[7] = {
    {0, 0}, {200, 400}, {180, 360}, {160, 320}, {140, 280}, {120, 240}, {100, 200}};  // steps 0-6
// clang-format on

inline constexpr ScorePair isolatedPawnPenalty{-5, -10};
inline constexpr ScorePair doubledPawnPenalty{-8, -16};

// Fills the pawn sets, pawns per file, open and half-open files and the passed pawns.
void buildPawnInfo(PawnInfo& info, const Position& pos);

// Isolated and doubled pawns of the colour, each penalty counted once per file.
template <class Recorder>
ScorePair weakPawnTerm(const PawnInfo& info, int colour, const Recorder& recorder);
inline ScorePair weakPawnTerm(const PawnInfo& info, int colour) {
  return weakPawnTerm(info, colour, NoRecord{});
}

// The colour's passed pawns by their distance to promotion, reduced when an enemy piece stands
// in front, plus the unstoppable-pawn bonus against a king without pieces.
template <class Recorder>
ScorePair passedPawnTerm(const PawnInfo& info, const Position& pos, int colour,
                         const Recorder& recorder);
inline ScorePair passedPawnTerm(const PawnInfo& info, const Position& pos, int colour) {
  return passedPawnTerm(info, pos, colour, NoRecord{});
}

// What depends on the pawns alone: their PawnInfo and each colour's weak-pawn term.
struct PawnEntry {
  uint64_t key = 0;
  bool filled = false;
  PawnInfo info;
  ScorePair weak[2];
};

// Builds the entry of the position's pawns.
void fillPawnEntry(PawnEntry& entry, const Position& pos);

// Pawn entries of one search worker by pawn key. Pawns change in few moves, so most positions a
// search evaluates find the entry of their pawns already built. A position set up with pieces
// beyond the slot plan is never cached: its key holds pawns that its slot walks may not see.
class PawnCache {
 public:
  static constexpr uint32_t Size = 2048;  // a power of two

  // The entry of the position's pawns, built now if the cache does not hold it.
  const PawnEntry& probe(const Position& pos);

 private:
  PawnEntry entries_[Size];
  PawnEntry uncached_;
};

}  // namespace varnu
