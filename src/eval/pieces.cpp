#include "eval/pieces.h"

#include <algorithm>
#include <cstdlib>

#include "board/bitboard.h"
#include "platform/cpu.h"

namespace varnu {

// Targets are found in the attack tables; a square counts when it is empty or holds an enemy.
int knightMobility(const Position& pos, int square, int colour) {
  return popCount(attackTables.knight[square64(square)] & ~pos.colourSet[colour]);
}

int diagonalMobility(const Position& pos, int square, int colour) {
  return popCount(diagonalAttacks(square64(square), pos.occupied()) & ~pos.colourSet[colour]);
}

int straightMobility(const Position& pos, int square, int colour) {
  return popCount(straightAttacks(square64(square), pos.occupied()) & ~pos.colourSet[colour]);
}

ScorePair rookFileBonus(const Position& pos, const PawnInfo& info, int square, int colour) {
  const int file = fileOf(square);
  const int kingFile = fileOf(pos.kingSquare(colour ^ 1));
  if (info.openFiles & (1 << file)) {
    ScorePair bonus = rookOpenFileBonus[info.openFileCount];
    if (file == kingFile)
      bonus += rookOnKingFileBonus;
    else if (std::abs(file - kingFile) == 1)
      bonus += rookBesideKingFileBonus;
    return bonus;
  }
  // Half-open files are valued by scarcity like open ones: indexed by their count, which the
  // 8 files keep within the table.
  if (info.halfOpenFiles & (1 << file))
    return rookHalfOpenFileBonus[std::min<int>(info.halfOpenFileCount, 8)];
  return {};
}

ScorePair queenFileBonus(const Position& pos, const PawnInfo& info, int square, int colour) {
  const int file = fileOf(square);
  const int kingFile = fileOf(pos.kingSquare(colour ^ 1));
  if ((info.openFiles & (1 << file)) && std::abs(file - kingFile) <= 1)
    return queenNearKingFileBonus;
  return {};
}

int kingShieldPattern(int colour, int kingSquare, uint64_t ownPawns) {
  const int forward = colour == White ? 1 : -1;
  const int file = fileOf(kingSquare);
  int pattern = 0;
  for (int ahead = 1; ahead <= 2; ++ahead) {
    const int rank = rankOf(kingSquare) + forward * ahead;
    // Off the board, and on the first and last rank, no pawn can stand: all three bits set.
    if (rank < 1 || rank > 6) {
      pattern |= 7 << (3 * (ahead - 1));
      continue;
    }
    // The rank's pawns shifted so that files f-1, f, f+1 land on bits 0-2; a file off the board
    // reads as a set bit.
    const int row = int((ownPawns >> (8 * rank)) & 0xFF) << 1 | 1 | 1 << 9;
    pattern |= (row >> file & 7) << (3 * (ahead - 1));
  }
  return pattern;
}

template <class Recorder>
ScorePair kingSafetyTerm(const Position& pos, const PawnInfo& info, int colour,
                         const Recorder& recorder) {
  const int king = pos.kingSquare(colour);
  const int file = fileOf(king);
  const int n = shieldTable.count[kingShieldPattern(colour, king, info.pawns[colour])];
  ScorePair sum(shieldPenalty.mg * n, shieldPenalty.eg * n);
  const PieceList& enemy = pos.pieceList[colour ^ 1];
  const int h = std::min(2, enemy.typeCount[Rook] + enemy.typeCount[Queen]);
  if (info.openFiles & (1 << file))
    sum += ScorePair(openKingFilePenalty.mg * h, openKingFilePenalty.eg * h);
  const ScorePair beside(openFileBesideKingPenalty.mg * h, openFileBesideKingPenalty.eg * h);
  if (file > 0 && (info.openFiles & (1 << (file - 1)))) sum += beside;
  if (file < 7 && (info.openFiles & (1 << (file + 1)))) sum += beside;
  recorder.add(RowKingSafety, colour, sum);
  return sum;
}

namespace {

template <class Recorder>
[[gnu::always_inline]] inline ScorePair mobilityTerms(const Position& pos, const PawnInfo& info,
                                                      int colour, const Recorder& recorder) {
  // Each piece's sum is independent of the others, so the pieces are taken type by type from
  // the sets rather than in slot order.
  const Bitboard mine = pos.slottedPieces(colour);
  const Bitboard targets = ~pos.colourSet[colour];
  const Bitboard occupied = pos.occupied();
  ScorePair sum;
  for (Bitboard set = mine & pos.typeSet[Knight]; set; set &= set - 1) {
    const int m = popCount(attackTables.knight[lowestIndex(set)] & targets);
    const ScorePair term(8 * m - 20, 6 * m - 20);
    recorder.add(RowKnights, colour, term);
    sum += term;
  }
  for (Bitboard set = mine & pos.typeSet[Bishop]; set; set &= set - 1) {
    const int m = popCount(diagonalAttacks(lowestIndex(set), occupied) & targets);
    const ScorePair term(9 * m - 20, 7 * m - 20);
    recorder.add(RowBishops, colour, term);
    sum += term;
  }
  for (Bitboard set = mine & pos.typeSet[Rook]; set; set &= set - 1) {
    const int index = lowestIndex(set);
    const int m = popCount(straightAttacks(index, occupied) & targets);
    const ScorePair term =
        ScorePair(5 * m - 20, 7 * m - 20) + rookFileBonus(pos, info, square0x88(index), colour);
    recorder.add(RowRooks, colour, term);
    sum += term;
  }
  for (Bitboard set = mine & pos.typeSet[Queen]; set; set &= set - 1) {
    // The two target sets are disjoint, so one count of their union is their sum.
    const int index = lowestIndex(set);
    const int m = popCount(
        (diagonalAttacks(index, occupied) | straightAttacks(index, occupied)) & targets);
    const ScorePair term =
        ScorePair(3 * m - 15, 2 * m - 15) + queenFileBonus(pos, info, square0x88(index), colour);
    recorder.add(RowQueens, colour, term);
    sum += term;
  }
  return sum;
}

}  // namespace

template ScorePair kingSafetyTerm(const Position&, const PawnInfo&, int, const NoRecord&);
template ScorePair kingSafetyTerm(const Position&, const PawnInfo&, int, const Record&);
// The search's evaluation spends much of its time in these counts.
template <>
VARNU_POPCOUNT_CLONES ScorePair pieceTerms(const Position& pos, const PawnInfo& info, int colour,
                                           const NoRecord& recorder) {
  return mobilityTerms(pos, info, colour, recorder);
}

template <>
ScorePair pieceTerms(const Position& pos, const PawnInfo& info, int colour,
                     const Record& recorder) {
  return mobilityTerms(pos, info, colour, recorder);
}

}  // namespace varnu
