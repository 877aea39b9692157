#include "board/position.h"

#include <cstring>

#include "board/zobrist.h"

namespace varnu {

namespace {

// First and last slot of each piece type's own range in the slot plan.
struct SlotRange {
  int first;
  int last;
};
constexpr SlotRange ownSlots[7] = {{0, -1}, {8, 15}, {6, 7}, {4, 5}, {2, 3}, {1, 1}, {0, 0}};

constexpr uint8_t standardRooks[4] = {H1, A1, H8, A8};
constexpr uint8_t standardKings[2] = {E1, E8};

// The squares of a back rank from one square to another, both included.
Bitboard rankSpan(int a, int b) {
  Bitboard set = 0;
  for (int s = a < b ? a : b; s <= (a < b ? b : a); ++s) set |= bitOf(s);
  return set;
}

}  // namespace

void Position::setCastlingLayout(const uint8_t (&rooks)[4]) {
  CastlingLayout& layout = castling;
  layout.standard = true;
  uint8_t kings[2] = {standardKings[White], standardKings[Black]};
  for (int code = 0; code < 4; ++code) {
    const int c = code / 2;
    const bool held = (castlingRights & (1 << code)) != 0;
    layout.rookSquare[code] = held ? rooks[code] : standardRooks[code];
    layout.mustBeEmpty[code] = layout.mustBeSafe[code] = 0;
    if (!held) continue;
    const int king = kingSquare(c), rook = rooks[code];
    kings[c] = uint8_t(king);
    if (king != standardKings[c] || rook != standardRooks[code]) layout.standard = false;
    const int kingTo = castlingKingTarget[code], rookTo = castlingRookTarget[code];
    const Bitboard pieces = bitOf(king) | bitOf(rook);
    layout.mustBeEmpty[code] = (rankSpan(king, kingTo) | rankSpan(rook, rookTo)) & ~pieces;
    layout.mustBeSafe[code] = rankSpan(king, kingTo) & ~bitOf(king);
  }
  // Standard chess keeps its fixed table, whatever rights the position holds.
  if (layout.standard) {
    kings[White] = standardKings[White];
    kings[Black] = standardKings[Black];
  }
  for (uint8_t& m : layout.rightsMask) m = 15;
  for (int c = White; c <= Black; ++c)
    layout.rightsMask[kings[c]] &= uint8_t(c == White ? ~(CastleWK | CastleWQ) : ~(CastleBK | CastleBQ));
  for (int code = 0; code < 4; ++code)
    layout.rightsMask[layout.rookSquare[code]] &= uint8_t(~(1 << code));
}

Position::Position() {
  for (ScorePair& s : materialPst) s = ScorePair{};
  for (PlyRecord& r : history) r = PlyRecord{};
  historyCount = 0;
  std::memset(perftKeys, 0, sizeof perftKeys);
  perftKeyIndex = 0;
  castlingRights = 0;
  epSquare = NoSquare;
  halfmoveClock = 0;
  sideToMove = NoColour;
  std::memset(pieceList, 0, sizeof pieceList);
  resetBoard();
}

void Position::resetBoard() {
  std::memset(pieceType, NoPiece, sizeof pieceType);
  std::memset(colour, NoColour, sizeof colour);
  std::memset(listSlot, NoSlot, sizeof listSlot);
  for (PieceList& list : pieceList) {
    std::memset(list.slots, NoSquare, sizeof list.slots);
    for (int t = 1; t < 7; ++t) list.typeCount[t] = 0;
    list.pieceCount = 0;
  }
  materialPst[White] = materialPst[Black] = ScorePair{};
  colourSet[White] = colourSet[Black] = 0;
  for (Bitboard& set : typeSet) set = 0;
  slotOverflow = false;
  historyCount = 0;
  history[0] = PlyRecord{};
  castlingRights = 0;
  epSquare = NoSquare;
  halfmoveClock = 0;
  sideToMove = NoColour;
  setCastlingLayout(standardRooks);
}

void Position::addPiece(int square, int c, int type) {
  PieceList& list = pieceList[c];
  int slot = NoSlot;
  if (list.typeCount[type] < pieceTypeLimit[type]) {
    for (int s = ownSlots[type].first; s <= ownSlots[type].last; ++s) {
      if (list.slots[s] == NoSquare) {
        slot = s;
        break;
      }
    }
    if (slot == NoSlot && type >= Knight && type <= Queen) {
      for (int s = FirstPawnSlot; s < SlotCount; ++s) {
        if (list.slots[s] == NoSquare) {
          slot = s;
          break;
        }
      }
    }
  }
  pieceType[square] = uint8_t(type);
  colour[square] = uint8_t(c);
  listSlot[square] = uint8_t(slot);
  colourSet[c] |= bitOf(square);
  typeSet[type] |= bitOf(square);
  if (slot == NoSlot) slotOverflow = true;
  list.slots[slot] = uint8_t(square);
  list.typeCount[type] += 1;
  list.pieceCount += 1;
  materialPst[c] += pieceSquareValue(c, type, square64(square));
  history[historyCount].key ^= pieceSquareKey(c, type, square64(square));
  if (type == Pawn) history[historyCount].pawnKey ^= pieceSquareKey(c, type, square64(square));
}

uint64_t Position::pieceKey(int c) const {
  uint64_t key = 0;
  for (int slot = 0; slot < SlotCount; ++slot) {
    int square = pieceList[c].slots[slot];
    if (!onBoard(square)) continue;
    key ^= pieceSquareKey(c, pieceType[square], square64(square));
  }
  return key;
}

Bitboard Position::slotSquares(int c) const {
  Bitboard set = 0;
  for (int slot = 0; slot < SlotCount; ++slot)
    if (onBoard(pieceList[c].slots[slot])) set |= bitOf(pieceList[c].slots[slot]);
  return set;
}

uint64_t Position::computeKey() const {
  uint64_t key = pieceKey(White) ^ pieceKey(Black);
  for (int bit = 0; bit < 4; ++bit)
    if (castlingRights & (1 << bit)) key ^= zobrist.castling[bit];
  if (epSquare != NoSquare) key ^= zobrist.epFile[fileOf(epSquare)];
  if (sideToMove == Black) key ^= zobrist.side;
  return key;
}

}  // namespace varnu
