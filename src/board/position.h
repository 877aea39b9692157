// The board state: a 0x88 mailbox with two piece lists in a fixed slot plan, running
// material-plus-placement sums, and a stack of per-ply records carrying the hash keys.
#pragma once

#include <cstdint>

#include "board/bitboard.h"
#include "board/types.h"
#include "eval/score_pair.h"

namespace varnu {

// History capacity: the game's positions followed by the search's.
inline constexpr int MaxHistory = 1024;
inline constexpr int PerftKeyCapacity = 64;

struct PlyRecord {
  uint64_t key = 0;
  uint64_t pawnKey = 0;  // the part of the key that the pawns make
  uint16_t repetitions = 0;
  Move killers[2] = {NullMove, NullMove};
  Move movePlayed = NullMove;

  bool operator==(const PlyRecord&) const = default;
};

// Slot plan: 0 king, 1 queen, 2-3 rooks, 4-5 bishops, 6-7 knights, 8-15 pawns (and extra pieces).
inline constexpr int KingSlot = 0;
inline constexpr int FirstPawnSlot = 8;
inline constexpr int SlotCount = 16;
// listSlot value of a piece that has no slot; slots[NoSlot] is the overflow cell it writes to.
inline constexpr int NoSlot = 16;

struct PieceList {
  // Square held in each slot, 255 when empty. Entry 16 is the overflow cell that absorbs the
  // writes for pieces beyond the slot plan; slot walks never read it.
  uint8_t slots[SlotCount + 1];
  // Pieces per type, indexed by piece type 1-6 (entry 0 unused).
  uint8_t typeCount[7];
  uint8_t pieceCount;

  // Equal contents; the overflow cell and the unused count entry hold nothing of meaning.
  bool operator==(const PieceList& o) const {
    for (int s = 0; s < SlotCount; ++s)
      if (slots[s] != o.slots[s]) return false;
    for (int t = 1; t < 7; ++t)
      if (typeCount[t] != o.typeCount[t]) return false;
    return pieceCount == o.pieceCount;
  }
};

// Where each castling right's king and rook go, by castling code: the g- or c-file and the f- or
// d-file of the back rank, in standard chess and Chess960 alike.
inline constexpr uint8_t castlingKingTarget[4] = {G1, C1, G8, C8};
inline constexpr uint8_t castlingRookTarget[4] = {F1, D1, F8, D8};

// The castling layout of a game, fixed when its position is set up: the rook square of each
// right, the squares its castling needs empty and not attacked, and the rights that survive a
// move from or to each square. Standard chess has the layout of standardCastling().
struct CastlingLayout {
  uint8_t rookSquare[4];
  // Squares between the king and its target and between the rook and its target, both targets
  // included and the castling king and rook themselves left out.
  Bitboard mustBeEmpty[4];
  // The squares the king crosses and lands on (its start square is tested as check).
  Bitboard mustBeSafe[4];
  uint8_t rightsMask[128];
  // Every right castles with the king on the e-file and a corner rook: the moves of standard
  // chess, which the move generator tests by its own fixed squares.
  bool standard;

  bool operator==(const CastlingLayout&) const = default;
};

class Position {
 public:
  Position();

  // Empties the board and the history; sideToMove becomes 2 until a position is set.
  void resetBoard();
  // Places a piece on an empty square during set-up, taking a slot by the slot plan.
  void addPiece(int square, int colour, int type);
  // XOR of the piece-square keys over the colour's slotted pieces.
  uint64_t pieceKey(int colour) const;
  // The key of the position computed from scratch.
  uint64_t computeKey() const;

  uint64_t key() const { return history[historyCount].key; }
  uint64_t pawnKey() const { return history[historyCount].pawnKey; }
  int kingSquare(int colour) const { return pieceList[colour].slots[KingSlot]; }
  Bitboard occupied() const { return colourSet[White] | colourSet[Black]; }
  Bitboard pieces(int colour, int type) const { return colourSet[colour] & typeSet[type]; }
  // The colour's pieces that hold a slot, the ones a slot walk meets: all of them unless the
  // set-up gave the colour pieces beyond the slot plan.
  Bitboard slottedPieces(int colour) const {
    return slotOverflow ? slotSquares(colour) : colourSet[colour];
  }
  // The squares held in the colour's slots, found by walking them.
  Bitboard slotSquares(int colour) const;

  // Gives the position the castling layout of its rights: rooks[code] is the rook square of
  // each right held (the king stands on its square already); the other codes take the standard
  // squares.
  void setCastlingLayout(const uint8_t (&rooks)[4]);

  bool operator==(const Position&) const = default;

  ScorePair materialPst[2];
  PlyRecord history[MaxHistory];
  int32_t historyCount;
  uint64_t perftKeys[PerftKeyCapacity];
  int32_t perftKeyIndex;
  uint8_t castlingRights;
  CastlingLayout castling;
  uint8_t epSquare;
  uint8_t halfmoveClock;
  uint8_t sideToMove;
  uint8_t pieceType[128];
  uint8_t colour[128];
  uint8_t listSlot[128];
  PieceList pieceList[2];
  // The same board as sets: every piece by colour and by type, slotted or not.
  Bitboard colourSet[2];
  Bitboard typeSet[7];
  // Set up with a piece beyond the slot plan, which slot walks do not see. Captures never
  // clear it: it only tells the evaluation to take its slot-walking path.
  bool slotOverflow;
};

// Upper limit of pieces per type placed by addPiece (index by piece type).
inline constexpr int pieceTypeLimit[7] = {0, 8, 10, 10, 10, 9, 1};

}  // namespace varnu
