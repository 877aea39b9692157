#include "board/movegen.h"

#include "board/make_move.h"

namespace varnu {

bool isAttacked(const Position& p, int square, int by) {
  for (int i = 0; i < 2; ++i) {
    int s = square - diagonalDirs[2 * by + i];
    if (onBoard(s) && p.pieceType[s] == Pawn && p.colour[s] == by) return true;
  }
  for (int i = 0; i < 8; ++i) {
    int s = square - knightOffsets[i];
    if (onBoard(s) && p.pieceType[s] == Knight && p.colour[s] == by) return true;
    s = square - kingOffsets[i];
    if (onBoard(s) && p.pieceType[s] == King && p.colour[s] == by) return true;
  }
  for (int d : rookDirs) {
    int s = square - d;
    while (onBoard(s) && p.pieceType[s] == NoPiece) s -= d;
    if (onBoard(s) && p.colour[s] == by && (p.pieceType[s] == Rook || p.pieceType[s] == Queen))
      return true;
  }
  for (int d : diagonalDirs) {
    int s = square - d;
    while (onBoard(s) && p.pieceType[s] == NoPiece) s -= d;
    if (onBoard(s) && p.colour[s] == by && (p.pieceType[s] == Bishop || p.pieceType[s] == Queen))
      return true;
  }
  return false;
}

namespace {

struct GenContext {
  uint64_t rookPins = 0;    // own pieces pinned to the king along a rank or file
  uint64_t bishopPins = 0;  // own pieces pinned along a diagonal
  bool inCheck = false;
};

uint64_t bit(int square) { return uint64_t(1) << square64(square); }

// Own pieces that stand alone between the king and an enemy slider along the given directions.
uint64_t pinsAlong(const Position& p, const int (&dirs)[4], int slider) {
  const int side = p.sideToMove, king = p.kingSquare(side);
  uint64_t pins = 0;
  for (int d : dirs) {
    int s = king + d;
    while (onBoard(s) && p.pieceType[s] == NoPiece) s += d;
    if (!onBoard(s) || p.colour[s] != side) continue;
    const int pinned = s;
    s += d;
    while (onBoard(s) && p.pieceType[s] == NoPiece) s += d;
    if (onBoard(s) && p.colour[s] != side && (p.pieceType[s] == slider || p.pieceType[s] == Queen))
      pins |= bit(pinned);
  }
  return pins;
}

// Promotion codes in generation order: queen, knight, rook, bishop.
constexpr int promotionOrder[4] = {Queen - 2, Knight - 2, Rook - 2, Bishop - 2};

class Generator {
 public:
  Generator(Position& p, MoveList& list, bool inCheck) : p_(p), list_(list) {
    side_ = p.sideToMove;
    other_ = side_ ^ 1;
    ctx_.rookPins = pinsAlong(p, rookDirs, Rook);
    ctx_.bishopPins = pinsAlong(p, diagonalDirs, Bishop);
    ctx_.inCheck = inCheck;
  }

  void all() {
    enPassant();
    const PieceList& pieces = p_.pieceList[side_];
    for (int slot = 0; slot < SlotCount; ++slot) {
      const int from = pieces.slots[slot];
      if (!onBoard(from)) continue;
      const int type = p_.pieceType[from];
      const bool test = needsTest(from, type);
      switch (type) {
        case Pawn: pawnMoves(from, test, false); break;
        case Knight: stepMoves(from, knightOffsets, test, false); break;
        case King: stepMoves(from, kingOffsets, test, false); break;
        case Rook: slideMoves(from, rookDirs, test, false); break;
        case Bishop: slideMoves(from, diagonalDirs, test, false); break;
        case Queen:
          slideMoves(from, rookDirs, test, false);
          slideMoves(from, diagonalDirs, test, false);
          break;
      }
    }
    if (!ctx_.inCheck) castling();
  }

  void captures() {
    enPassant();
    const PieceList& pieces = p_.pieceList[side_];
    for (int slot = 0; slot < SlotCount; ++slot) {
      const int from = pieces.slots[slot];
      if (!onBoard(from)) continue;
      const int type = p_.pieceType[from];
      const bool test = needsTest(from, type);
      switch (type) {
        case Pawn: pawnMoves(from, test, true); break;
        case Knight: stepMoves(from, knightOffsets, test, true); break;
        case King: stepMoves(from, kingOffsets, test, true); break;
        case Rook: slideMoves(from, rookDirs, test, true); break;
        case Bishop: slideMoves(from, diagonalDirs, test, true); break;
        case Queen:
          slideMoves(from, rookDirs, test, true);
          slideMoves(from, diagonalDirs, test, true);
          break;
      }
    }
  }

 private:
  // Moves of a piece need the board trial when in check, for the king, or when it is pinned.
  bool needsTest(int from, int type) const {
    return ctx_.inCheck || type == King || ((ctx_.rookPins | ctx_.bishopPins) & bit(from)) != 0;
  }

  void add(Move m, bool test) {
    if (test) {
      UndoRecord undo;
      trialMake(p_, m, undo);
      const bool legal = !isAttacked(p_, p_.kingSquare(side_), other_);
      trialUnmake(p_, m, undo);
      if (!legal) return;
    }
    list_.add(m);
  }

  bool enemyOn(int s) const { return onBoard(s) && p_.colour[s] == other_; }

  void enPassant() {
    const int ep = p_.epSquare;
    if (ep == NoSquare) return;
    for (int i = 0; i < 2; ++i) {
      const int from = ep - diagonalDirs[2 * side_ + i];
      if (onBoard(from) && p_.pieceType[from] == Pawn && p_.colour[from] == side_)
        add(packMove(from, ep, EnPassantMove, 0), true);
    }
  }

  void pawnMoves(int from, bool test, bool capturesOnly) {
    const int push = from + pawnPush[side_];
    if (rankOf(from) == pawnSeventhRank[side_]) {
      const int promotions = capturesOnly ? 1 : 4;
      for (int i = 0; i < 2; ++i) {
        const int to = from + diagonalDirs[2 * side_ + i];
        if (!enemyOn(to)) continue;
        for (int k = 0; k < promotions; ++k)
          add(packMove(from, to, PromotionMove, promotionOrder[k]), test);
      }
      if (p_.pieceType[push] == NoPiece)
        for (int k = 0; k < promotions; ++k)
          add(packMove(from, push, PromotionMove, promotionOrder[k]), test);
      return;
    }
    for (int i = 0; i < 2; ++i) {
      const int to = from + diagonalDirs[2 * side_ + i];
      if (enemyOn(to)) add(packMove(from, to, NormalMove, 0), test);
    }
    if (capturesOnly || p_.pieceType[push] != NoPiece) return;
    add(packMove(from, push, NormalMove, 0), test);
    const int twoSteps = push + pawnPush[side_];
    if (rankOf(from) == pawnStartRank[side_] && p_.pieceType[twoSteps] == NoPiece)
      add(packMove(from, twoSteps, NormalMove, 1), test);
  }

  void stepMoves(int from, const int (&offsets)[8], bool test, bool capturesOnly) {
    for (int d : offsets) {
      const int to = from + d;
      if (!onBoard(to) || p_.colour[to] == side_) continue;
      if (capturesOnly && p_.colour[to] != other_) continue;
      add(packMove(from, to, NormalMove, 0), test);
    }
  }

  void slideMoves(int from, const int (&dirs)[4], bool test, bool capturesOnly) {
    for (int d : dirs) {
      int to = from + d;
      for (; onBoard(to) && p_.pieceType[to] == NoPiece; to += d)
        if (!capturesOnly) add(packMove(from, to, NormalMove, 0), test);
      if (enemyOn(to)) add(packMove(from, to, NormalMove, 0), test);
    }
  }

  bool empty(int s) const { return p_.pieceType[s] == NoPiece; }

  void castling() {
    const int rights = p_.castlingRights;
    if (side_ == White) {
      if ((rights & CastleWK) && empty(F1) && empty(G1) && !isAttacked(p_, F1, Black))
        add(packMove(E1, G1, CastlingMove, 0), true);
      if ((rights & CastleWQ) && empty(D1) && empty(C1) && empty(B1) && !isAttacked(p_, D1, Black))
        add(packMove(E1, C1, CastlingMove, 1), true);
    } else {
      if ((rights & CastleBK) && empty(F8) && empty(G8) && !isAttacked(p_, F8, White))
        add(packMove(E8, G8, CastlingMove, 2), true);
      if ((rights & CastleBQ) && empty(D8) && empty(C8) && empty(B8) && !isAttacked(p_, D8, White))
        add(packMove(E8, C8, CastlingMove, 3), true);
    }
  }

  Position& p_;
  MoveList& list_;
  GenContext ctx_;
  int side_;
  int other_;
};

}  // namespace

void generateMoves(Position& pos, bool inCheck, MoveList& list) {
  Generator(pos, list, inCheck).all();
}

void generateCaptures(Position& pos, MoveList& list) { Generator(pos, list, false).captures(); }

}  // namespace varnu
