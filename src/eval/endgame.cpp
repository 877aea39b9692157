#include "eval/endgame.h"

#include <algorithm>

namespace varnu {

namespace {

// 0x88 square from its name, for the tables below.
constexpr uint8_t at(const char* name) { return uint8_t(makeSquare(name[1] - '1', name[0] - 'a')); }

constexpr bool isCorner(int square) {
  return square == A1 || square == H1 || square == A8 || square == H8;
}

int totalPieces(const Position& pos) {
  return pos.pieceList[White].pieceCount + pos.pieceList[Black].pieceCount;
}

// King and two knights against a bare king: only a king already caught in a corner, with the
// attacking king close and the defender not to move, can still be mated.
int twoKnightsScale(const Position& pos, int colour) {
  const int other = colour ^ 1;
  if (pos.sideToMove == other) return 0;
  const int defender = pos.kingSquare(other);
  if (!isCorner(defender)) return 0;
  return kingDistance(defender, pos.kingSquare(colour)) <= 2 ? 100 : 0;
}

// King, bishop and rook pawn against a bare king: a draw when the bishop does not control the
// promotion square and the defending king reaches it, drawish while it might.
int wrongBishopScale(const Position& pos, int colour) {
  const int pawn = firstPawn(pos, colour);
  if (pawn == NoSquare || (fileOf(pawn) != 0 && fileOf(pawn) != 7)) return 100;
  const int bishop = firstBishop(pos, colour);
  if (bishop == NoSquare) return 100;
  const int promotion = makeSquare(promotionRank[colour], fileOf(pawn));
  if (squareColour.colour[promotion] == squareColour.colour[bishop]) return 100;
  return kingDistance(pos.kingSquare(colour ^ 1), promotion) <= 1 ? 0 : 50;
}

// For a king in a corner with an own piece on the edge square beside it: the squares the enemy
// king must hold for a mate to exist.
struct CornerTrap {
  uint8_t corner;
  uint8_t piece;
  uint8_t enemyKing[2];
};

constexpr CornerTrap cornerTraps[8] = {
    {at("a1"), at("b1"), {at("a3"), at("b3")}}, {at("a1"), at("a2"), {at("c1"), at("c2")}},
    {at("h1"), at("g1"), {at("h3"), at("g3")}}, {at("h1"), at("h2"), {at("f1"), at("f2")}},
    {at("a8"), at("b8"), {at("a6"), at("b6")}}, {at("a8"), at("a7"), {at("c8"), at("c7")}},
    {at("h8"), at("g8"), {at("h6"), at("g6")}}, {at("h8"), at("h7"), {at("f8"), at("f7")}},
};

// King and minor piece against king and minor piece: a draw unless a king is cornered by its own
// piece with the enemy king in place to mate.
int minorVsMinorScale(const Position& pos) {
  const int whiteKing = pos.kingSquare(White);
  const int blackKing = pos.kingSquare(Black);
  if (!isCorner(whiteKing) && !isCorner(blackKing)) return 0;
  const int cornered = isCorner(whiteKing) ? White : Black;
  const int enemy = cornered ^ 1;
  const int king = pos.kingSquare(cornered);
  if (kingDistance(whiteKing, blackKing) > 2) return 0;
  if (pos.sideToMove == cornered) return 0;
  for (const CornerTrap& trap : cornerTraps) {
    if (trap.corner != king || pos.colour[trap.piece] != cornered) continue;
    const int enemyKing = pos.kingSquare(enemy);
    if (enemyKing != trap.enemyKing[0] && enemyKing != trap.enemyKing[1]) return 0;
  }
  return 25;
}

// Queen against a rook or bishop pawn one step from promotion, its king beside it: the
// stalemate defence holds.
int queenVsPawnScale(const Position& pos, int queenSide) {
  const int pawnSide = queenSide ^ 1;
  const int pawn = firstPawn(pos, pawnSide);
  if (pawn == NoSquare) return 100;
  int pawnFile = fileOf(pawn);
  if (pawnFile != 0 && pawnFile != 2 && pawnFile != 5 && pawnFile != 7) return 100;
  if (rankOf(pawn) != pawnSeventhRank[pawnSide]) return 100;
  // Seen from the pawn side's corner so that the pawn stands on a2 or c2.
  int kingRank = rankOf(pos.kingSquare(pawnSide));
  int kingFile = fileOf(pos.kingSquare(pawnSide));
  if (pawnSide == White) kingRank = 7 - kingRank;
  if (pawnFile >= 4) {
    pawnFile = 7 - pawnFile;
    kingFile = 7 - kingFile;
  }
  const int king = makeSquare(kingRank, kingFile);
  if (pawnFile == 0) {
    if (king == at("a1") || king == at("b1") || king == at("b2")) return 25;
  } else if (king == at("b1") || king == at("c1") || king == at("d1") || king == at("b2") ||
             king == at("d2")) {
    return 25;
  }
  return 100;
}

// The drawing rules for four pieces; the first that applies decides.
int endgameRuleScale(const Position& pos) {
  if (totalPieces(pos) != 4) return 100;
  const uint8_t* white = pos.pieceList[White].typeCount;
  const uint8_t* black = pos.pieceList[Black].typeCount;
  if (white[Knight] == 2) return twoKnightsScale(pos, White);
  if (black[Knight] == 2) return twoKnightsScale(pos, Black);
  if (white[Bishop] == 1 && white[Pawn] == 1) return wrongBishopScale(pos, White);
  if (black[Bishop] == 1 && black[Pawn] == 1) return wrongBishopScale(pos, Black);
  if (white[Knight] + white[Bishop] == 1 && black[Knight] + black[Bishop] == 1)
    return minorVsMinorScale(pos);
  if (white[Queen] == 1 && black[Pawn] == 1) return queenVsPawnScale(pos, White);
  if (black[Queen] == 1 && white[Pawn] == 1) return queenVsPawnScale(pos, Black);
  return 100;
}

}  // namespace

int scaleFactor(const Position& pos) {
  const int h = std::min<int>(pos.halfmoveClock, 100);
  const int fifty = (10000 - h * h) / 100;
  if (totalPieces(pos) <= 4) return std::min(endgameRuleScale(pos), fifty);
  return fifty;
}

int firstPawn(const Position& pos, int colour) {
  for (int slot = FirstPawnSlot; slot < SlotCount; ++slot) {
    const int square = pos.pieceList[colour].slots[slot];
    if (onBoard(square) && pos.pieceType[square] == Pawn) return square;
  }
  return NoSquare;
}

int firstBishop(const Position& pos, int colour) {
  const uint8_t* slots = pos.pieceList[colour].slots;
  for (int slot : {4, 5})
    if (onBoard(slots[slot])) return slots[slot];
  for (int slot = FirstPawnSlot; slot < SlotCount; ++slot)
    if (onBoard(slots[slot]) && pos.pieceType[slots[slot]] == Bishop) return slots[slot];
  return NoSquare;
}

bool findMatingSide(const Position& pos, MatingMaterial& material) {
  material = MatingMaterial{};
  if (pos.pieceList[White].typeCount[Pawn] || pos.pieceList[Black].typeCount[Pawn]) return false;
  for (int c = White; c <= Black; ++c) {
    for (int slot = 1; slot < SlotCount; ++slot) {
      const int square = pos.pieceList[c].slots[slot];
      if (onBoard(square)) material.sum[c] += mateMaterialValue[pos.pieceType[square]];
    }
  }
  for (int c = White; c <= Black; ++c) {
    if (material.sum[c] >= material.sum[c ^ 1] + MatingMargin) {
      material.winner = c;
      return true;
    }
  }
  return false;
}

template <class Recorder>
int mateEvaluation(const MatingMaterial& material, int phase, const Position& pos,
                   const Recorder& recorder) {
  const int winner = material.winner;
  const int loser = winner ^ 1;
  const int toMove = pos.sideToMove;
  int total[2] = {material.sum[White], material.sum[Black]};
  recorder.add(RowMateMaterial, White, {material.sum[White], material.sum[White]});
  recorder.add(RowMateMaterial, Black, {material.sum[Black], material.sum[Black]});

  total[toMove] += blend(sideToMoveBonus, phase);
  recorder.add(RowSideToMove, toMove, sideToMoveBonus);

  // The defender is rewarded for staying central, so the winner gains as it nears the edge.
  const int loserKing = pos.kingSquare(loser);
  const int edge = 64 * edgeDistance.distance[square64(loserKing)];
  total[loser] += edge;
  recorder.add(RowMateKingEdge, toMove, {edge, edge});

  const int near = 2 * (7 - kingDistance(loserKing, pos.kingSquare(winner)));
  total[winner] += near;
  recorder.add(RowMateKingDistance, toMove, {near, near});

  const uint8_t* white = pos.pieceList[White].typeCount;
  const uint8_t* black = pos.pieceList[Black].typeCount;
  const bool bishopAndKnight =
      (white[Bishop] == 1 && white[Knight] == 1) || (black[Bishop] == 1 && black[Knight] == 1);
  const int bishop = totalPieces(pos) == 4 && bishopAndKnight ? firstBishop(pos, winner) : NoSquare;
  if (bishop != NoSquare) {
    // Mate is forced only in a corner of the bishop's colour; the others are safe for the defender.
    const bool dark = squareColour.colour[bishop] == 1;
    const int corner1 = dark ? H1 : A1;
    const int corner2 = dark ? A8 : H8;
    const int d = std::min(kingDistance(loserKing, corner1), kingDistance(loserKing, corner2));
    const int safety = 16 * (7 - d);
    total[loser] += safety;
    recorder.add(RowMateSafeCorner, toMove, {safety, safety});
  }

  return toMove == White ? total[White] - total[Black] : total[Black] - total[White];
}

template int mateEvaluation(const MatingMaterial&, int, const Position&, const NoRecord&);
template int mateEvaluation(const MatingMaterial&, int, const Position&, const Record&);

}  // namespace varnu
