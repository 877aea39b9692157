#include "eval/pawns.h"

#include <bit>
#include <cassert>

#include "board/bitboard.h"

namespace varnu {

void buildPawnInfo(PawnInfo& info, const Position& pos) {
  info = PawnInfo{};
  for (int c = White; c <= Black; ++c) {
    // Pawns hold pawn slots only, so the slotted pawns are the ones the pawn slots hold.
    info.pawns[c] = pos.slottedPieces(c) & pos.typeSet[Pawn];
    for (Bitboard set = info.pawns[c]; set; set &= set - 1) ++info.pawnsOnFile[c][lowestIndex(set) & 7];
  }
  for (int f = 0; f < 8; ++f) {
    const bool white = info.pawnsOnFile[White][f] > 0;
    const bool black = info.pawnsOnFile[Black][f] > 0;
    if (!white && !black) {
      info.openFiles |= uint8_t(1 << f);
      ++info.openFileCount;
    } else if (white != black) {
      info.halfOpenFiles |= uint8_t(1 << f);
      ++info.halfOpenFileCount;
    }
  }
  for (int c = White; c <= Black; ++c) {
    for (uint64_t set = info.pawns[c]; set; set &= set - 1) {
      const int index = std::countr_zero(set);
      if ((passedMask.mask[c][index] & info.pawns[c ^ 1]) == 0)
        info.passed[c] |= uint64_t(1) << index;
    }
  }
}

template <class Recorder>
ScorePair weakPawnTerm(const PawnInfo& info, int colour, const Recorder& recorder) {
  const uint8_t* onFile = info.pawnsOnFile[colour];
  ScorePair sum;
  for (int f = 0; f < 8; ++f) {
    if (onFile[f] == 0) continue;
    if ((f == 0 || onFile[f - 1] == 0) && (f == 7 || onFile[f + 1] == 0))
      sum += isolatedPawnPenalty;
    if (onFile[f] > 1) sum += doubledPawnPenalty;
  }
  recorder.add(RowWeakPawns, colour, sum);
  return sum;
}

template <class Recorder>
ScorePair passedPawnTerm(const PawnInfo& info, const Position& pos, int colour,
                         const Recorder& recorder) {
  const int other = colour ^ 1;
  // The unstoppable bonus needs a defender with nothing but king and pawns.
  const bool kingAlone =
      pos.pieceList[other].pieceCount == pos.pieceList[other].typeCount[Pawn] + 1;
  const int defenderKing = pos.kingSquare(other);
  ScorePair sum;
  for (uint64_t set = info.passed[colour]; set; set &= set - 1) {
    const int square = square0x88(std::countr_zero(set));
    const int rank = rankOf(square);
    const int file = fileOf(square);
    int steps = colour == White ? 7 - rank : rank;
    if (rank == pawnStartRank[colour]) --steps;  // the double step saves one move
    // Every piece on the squares in front costs a step; an enemy one blocks the pawn.
    const Bitboard ahead = attackTables.ray[colour == White ? North : South][square64(square)];
    steps += popCount(ahead & pos.occupied());
    const bool blocked = (ahead & pos.colourSet[other]) != 0;
    assert(steps <= 11);  // at most 5 from the rank and one per square in front
    ScorePair bonus = passedBonus[steps];
    if (blocked) bonus = ScorePair(bonus.mg / 4, bonus.eg / 4);
    sum += bonus;
    if (!blocked && kingAlone) {
      const int promotion = makeSquare(promotionRank[colour], file);
      int distance = kingDistance(defenderKing, promotion);
      if (pos.sideToMove == other) --distance;
      if (steps < distance) sum += unstoppableBonus[steps];
    }
  }
  recorder.add(RowPassedPawns, colour, sum);
  return sum;
}

void fillPawnEntry(PawnEntry& entry, const Position& pos) {
  entry.key = pos.pawnKey();
  entry.filled = true;
  buildPawnInfo(entry.info, pos);
  for (int c = White; c <= Black; ++c) entry.weak[c] = weakPawnTerm(entry.info, c);
}

const PawnEntry& PawnCache::probe(const Position& pos) {
  if (pos.slotOverflow) {
    fillPawnEntry(uncached_, pos);
    return uncached_;
  }
  const uint64_t key = pos.pawnKey();
  PawnEntry& entry = entries_[key & (Size - 1)];
  if (!entry.filled || entry.key != key) fillPawnEntry(entry, pos);
  return entry;
}

template ScorePair weakPawnTerm(const PawnInfo&, int, const NoRecord&);
template ScorePair weakPawnTerm(const PawnInfo&, int, const Record&);
template ScorePair passedPawnTerm(const PawnInfo&, const Position&, int, const NoRecord&);
template ScorePair passedPawnTerm(const PawnInfo&, const Position&, int, const Record&);

}  // namespace varnu
