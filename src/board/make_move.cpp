#include "board/make_move.h"

#include <cassert>
#include <initializer_list>

#include "board/move.h"
#include "board/zobrist.h"

namespace varnu {

namespace {

// XOR of the castling keys of every right in a set of rights.
struct CastlingKeyTable {
  uint64_t key[16];
};
constexpr CastlingKeyTable makeCastlingKeys() {
  CastlingKeyTable t{};
  for (int rights = 0; rights < 16; ++rights)
    for (int bit = 0; bit < 4; ++bit)
      if (rights & (1 << bit)) t.key[rights] ^= zobrist.castling[bit];
  return t;
}
constexpr CastlingKeyTable castlingKeyOf = makeCastlingKeys();

ScorePair valueAt(int colour, int type, int square) {
  return pieceSquareValue(colour, type, square64(square));
}

void removePiece(Position& p, int square) {
  int c = p.colour[square], t = p.pieceType[square];
  PieceList& list = p.pieceList[c];
  p.materialPst[c] -= valueAt(c, t, square);
  p.colourSet[c] ^= bitOf(square);
  p.typeSet[t] ^= bitOf(square);
  list.slots[p.listSlot[square]] = NoSquare;
  list.typeCount[t] -= 1;
  list.pieceCount -= 1;
  p.pieceType[square] = NoPiece;
  p.colour[square] = NoColour;
  p.listSlot[square] = NoSlot;
}

void movePiece(Position& p, int from, int to) {
  int c = p.colour[from], t = p.pieceType[from], slot = p.listSlot[from];
  p.materialPst[c] += valueAt(c, t, to) - valueAt(c, t, from);
  const Bitboard both = bitOf(from) | bitOf(to);
  p.colourSet[c] ^= both;
  p.typeSet[t] ^= both;
  p.pieceList[c].slots[slot] = uint8_t(to);
  p.pieceType[to] = uint8_t(t);
  p.colour[to] = uint8_t(c);
  p.listSlot[to] = uint8_t(slot);
  p.pieceType[from] = NoPiece;
  p.colour[from] = NoColour;
  p.listSlot[from] = NoSlot;
}

void promotePiece(Position& p, int square, int newType) {
  int c = p.colour[square];
  PieceList& list = p.pieceList[c];
  p.pieceType[square] = uint8_t(newType);
  p.typeSet[Pawn] ^= bitOf(square);
  p.typeSet[newType] ^= bitOf(square);
  list.typeCount[Pawn] -= 1;
  list.typeCount[newType] += 1;
  p.materialPst[c] += valueAt(c, newType, square) - valueAt(c, Pawn, square);
}

void putBack(Position& p, int c, int square, int type, int slot) {
  PieceList& list = p.pieceList[c];
  p.pieceType[square] = uint8_t(type);
  p.colour[square] = uint8_t(c);
  p.listSlot[square] = uint8_t(slot);
  list.slots[slot] = uint8_t(square);
  list.typeCount[type] += 1;
  list.pieceCount += 1;
  p.materialPst[c] += valueAt(c, type, square);
  p.colourSet[c] |= bitOf(square);
  p.typeSet[type] |= bitOf(square);
}

void unpromote(Position& p, int square) {
  int c = p.colour[square], t = p.pieceType[square];
  PieceList& list = p.pieceList[c];
  p.pieceType[square] = Pawn;
  p.typeSet[t] ^= bitOf(square);
  p.typeSet[Pawn] ^= bitOf(square);
  list.typeCount[t] -= 1;
  list.typeCount[Pawn] += 1;
  p.materialPst[c] += valueAt(c, Pawn, square) - valueAt(c, t, square);
}

// Moves the king and the rook of a castling. Both leave their squares before either lands: in
// Chess960 the king may land where the rook stood, or either piece may stay where it is.
void castle(Position& p, int kingFrom, int kingTo, int rookFrom, int rookTo) {
  const int c = p.colour[kingFrom];
  const int kingSlot = p.listSlot[kingFrom], rookSlot = p.listSlot[rookFrom];
  removePiece(p, kingFrom);
  removePiece(p, rookFrom);
  putBack(p, c, kingTo, King, kingSlot);
  putBack(p, c, rookTo, Rook, rookSlot);
}

uint64_t keyOf(const Position& p, int square) {
  return pieceSquareKey(p.colour[square], p.pieceType[square], square64(square));
}

// Saves what unmake needs and the piece a move captures (its square is given).
void saveCapture(const Position& p, int captureSquare, UndoRecord& undo) {
  undo.capturedType = p.pieceType[captureSquare];
  undo.capturedSlot = p.listSlot[captureSquare];
}

// The board, rights, en-passant and clock part of a full or perft make. The key is updated in
// place; the clock and the pawn key only by the full make.
template <bool Full>
void applyMove(Position& p, Move m, UndoRecord& undo, uint64_t& key, uint64_t& pawnKey) {
  const int side = p.sideToMove, other = side ^ 1;
  const int from = moveFromSquare(m), to = moveToSquare(m);
  const int oldRights = p.castlingRights, oldEp = p.epSquare;
  undo.castlingRights = p.castlingRights;
  undo.epSquare = p.epSquare;
  undo.halfmoveClock = p.halfmoveClock;
  int newEp = NoSquare;
  bool resetClock = false;

  switch (moveKind(m)) {
    case NormalMove: {
      saveCapture(p, to, undo);
      if (p.pieceType[to] != NoPiece) {
        if (Full && p.pieceType[to] == Pawn) pawnKey ^= keyOf(p, to);
        key ^= keyOf(p, to);
        removePiece(p, to);
        resetClock = true;
      }
      if (p.pieceType[from] == Pawn) {
        if (Full) pawnKey ^= keyOf(p, from);
        resetClock = true;
      }
      key ^= keyOf(p, from);
      movePiece(p, from, to);
      key ^= keyOf(p, to);
      if (Full && p.pieceType[to] == Pawn) pawnKey ^= keyOf(p, to);
      if (moveExtra(m) == 1) {
        // A double step sets the en-passant square only if an enemy pawn can use it.
        for (int beside : {to - 1, to + 1}) {
          if (onBoard(beside) && rankOf(beside) == rankOf(to) && p.pieceType[beside] == Pawn &&
              p.colour[beside] == other) {
            newEp = to - pawnPush[side];
          }
        }
      }
      p.castlingRights &= p.castling.rightsMask[from] & p.castling.rightsMask[to];
      break;
    }
    case PromotionMove: {
      saveCapture(p, to, undo);
      if (p.pieceType[to] != NoPiece) {
        key ^= keyOf(p, to);
        removePiece(p, to);
      }
      if (Full) pawnKey ^= keyOf(p, from);
      key ^= keyOf(p, from);
      movePiece(p, from, to);
      promotePiece(p, to, promotionType(m));
      key ^= keyOf(p, to);
      resetClock = true;
      p.castlingRights &= p.castling.rightsMask[to];
      break;
    }
    case CastlingMove: {
      undo.capturedType = NoPiece;
      undo.capturedSlot = 0;
      const int code = moveExtra(m);
      const int rookFrom = p.castling.rookSquare[code], rookTo = castlingRookTarget[code];
      key ^= keyOf(p, from) ^ keyOf(p, rookFrom);
      castle(p, from, to, rookFrom, rookTo);
      key ^= keyOf(p, to) ^ keyOf(p, rookTo);
      p.castlingRights &= p.castling.rightsMask[from];
      break;
    }
    case EnPassantMove: {
      const int captured = to - pawnPush[side];
      saveCapture(p, captured, undo);
      if (Full) pawnKey ^= keyOf(p, captured) ^ keyOf(p, from);
      key ^= keyOf(p, captured);
      removePiece(p, captured);
      key ^= keyOf(p, from);
      movePiece(p, from, to);
      key ^= keyOf(p, to);
      if (Full) pawnKey ^= keyOf(p, to);
      resetClock = true;
      break;
    }
  }

  if (Full) {
    if (resetClock) {
      p.halfmoveClock = 0;
    } else if (p.halfmoveClock < 255) {
      // The counter saturates so that a long shuffle never wraps the fifty-move rule off.
      p.halfmoveClock += 1;
    }
  }
  p.epSquare = uint8_t(newEp);
  if (oldEp != NoSquare) key ^= zobrist.epFile[fileOf(oldEp)];
  if (newEp != NoSquare) key ^= zobrist.epFile[fileOf(newEp)];
  key ^= castlingKeyOf.key[oldRights ^ p.castlingRights];
  p.sideToMove = uint8_t(other);
  key ^= zobrist.side;
}

// The board part of every unmake; the side to move is already back to the mover.
void restoreBoard(Position& p, Move m, const UndoRecord& undo) {
  const int side = p.sideToMove, other = side ^ 1;
  const int from = moveFromSquare(m), to = moveToSquare(m);
  switch (moveKind(m)) {
    case CastlingMove: {
      const int code = moveExtra(m);
      castle(p, to, from, castlingRookTarget[code], p.castling.rookSquare[code]);
      break;
    }
    case EnPassantMove:
      movePiece(p, to, from);
      putBack(p, other, to - pawnPush[side], Pawn, undo.capturedSlot);
      break;
    case PromotionMove:
      unpromote(p, to);
      [[fallthrough]];
    case NormalMove:
      movePiece(p, to, from);
      if (undo.capturedType != NoPiece) putBack(p, other, to, undo.capturedType, undo.capturedSlot);
      break;
  }
}

// A new PlyRecord for the position a move reaches, starting with the current keys.
PlyRecord& pushPlyRecord(Position& p) {
  assert(p.historyCount < MaxHistory - 1);
  PlyRecord& next = p.history[p.historyCount + 1];
  next.key = p.history[p.historyCount].key;
  next.pawnKey = p.history[p.historyCount].pawnKey;
  next.repetitions = 0;
  p.historyCount += 1;
  return next;
}

// The common part of the full and the perft unmake.
void undoMove(Position& p, Move m, const UndoRecord& undo) {
  p.sideToMove ^= 1;
  restoreBoard(p, m, undo);
  p.castlingRights = undo.castlingRights;
  p.epSquare = undo.epSquare;
  p.halfmoveClock = undo.halfmoveClock;
}

}  // namespace

void makeMove(Position& p, Move m, UndoRecord& undo) {
  p.history[p.historyCount].movePlayed = m;
  PlyRecord& next = pushPlyRecord(p);
  applyMove<true>(p, m, undo, next.key, next.pawnKey);
}

void unmakeMove(Position& p, Move m, const UndoRecord& undo) {
  undoMove(p, m, undo);
  p.historyCount -= 1;
}

void perftMake(Position& p, Move m, UndoRecord& undo) {
  assert(p.perftKeyIndex < PerftKeyCapacity - 1);
  p.perftKeys[p.perftKeyIndex + 1] = p.perftKeys[p.perftKeyIndex];
  p.perftKeyIndex += 1;
  uint64_t unusedPawnKey = 0;
  applyMove<false>(p, m, undo, p.perftKeys[p.perftKeyIndex], unusedPawnKey);
}

void perftUnmake(Position& p, Move m, const UndoRecord& undo) {
  undoMove(p, m, undo);
  p.perftKeyIndex -= 1;
}

void trialMake(Position& p, Move m, UndoRecord& undo) {
  const int side = p.sideToMove;
  const int from = moveFromSquare(m), to = moveToSquare(m);
  switch (moveKind(m)) {
    case NormalMove:
      saveCapture(p, to, undo);
      if (p.pieceType[to] != NoPiece) removePiece(p, to);
      movePiece(p, from, to);
      break;
    case PromotionMove:
      saveCapture(p, to, undo);
      if (p.pieceType[to] != NoPiece) removePiece(p, to);
      movePiece(p, from, to);
      promotePiece(p, to, promotionType(m));
      break;
    case CastlingMove: {
      undo.capturedType = NoPiece;
      const int code = moveExtra(m);
      castle(p, from, to, p.castling.rookSquare[code], castlingRookTarget[code]);
      break;
    }
    case EnPassantMove:
      saveCapture(p, to - pawnPush[side], undo);
      removePiece(p, to - pawnPush[side]);
      movePiece(p, from, to);
      break;
  }
  p.sideToMove ^= 1;
}

void trialUnmake(Position& p, Move m, const UndoRecord& undo) {
  p.sideToMove ^= 1;
  restoreBoard(p, m, undo);
}

uint64_t keyAfterMoveHint(const Position& p, Move m) {
  const int from = moveFromSquare(m), to = moveToSquare(m);
  const int c = p.colour[from], t = p.pieceType[from];
  const int placed = moveKind(m) == PromotionMove ? promotionType(m) : t;
  uint64_t key = p.key() ^ zobrist.side ^ pieceSquareKey(c, t, square64(from)) ^
                 pieceSquareKey(c, placed, square64(to));
  if (p.pieceType[to] != NoPiece) key ^= keyOf(p, to);
  if (p.epSquare != NoSquare) key ^= zobrist.epFile[fileOf(p.epSquare)];
  return key;
}

void makeNullMove(Position& p, UndoRecord& undo) {
  p.history[p.historyCount].movePlayed = NullMove;
  PlyRecord& next = pushPlyRecord(p);
  undo.castlingRights = p.castlingRights;
  undo.epSquare = p.epSquare;
  undo.halfmoveClock = p.halfmoveClock;
  p.sideToMove ^= 1;
  if (p.epSquare != NoSquare) next.key ^= zobrist.epFile[fileOf(p.epSquare)];
  next.key ^= zobrist.side;
  p.epSquare = NoSquare;
  p.halfmoveClock = 0;
}

void unmakeNullMove(Position& p, const UndoRecord& undo) {
  p.sideToMove ^= 1;
  p.historyCount -= 1;
  p.castlingRights = undo.castlingRights;
  p.epSquare = undo.epSquare;
  p.halfmoveClock = undo.halfmoveClock;
}

}  // namespace varnu
