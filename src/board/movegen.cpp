#include "board/movegen.h"

#include "board/make_move.h"

namespace varnu {

// Looks outward from the square: pawns, knights and the king on their squares, then the first
// piece along each line.
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

// How the moves of one piece are made sure to be legal.
enum class Check {
  Free,          // legal as generated: not in check, not pinned
  Trial,         // tried on the board: pinned, or en passant, or castling
  KingStep,      // the king's target must not be attacked once the king has left its square
  Evasion,       // in single check, not pinned: only captures of the checker or blocks
  PinnedEvasion, // in single check and pinned: a block or capture, then tried on the board
  None,          // in double check: only the king may move
};

class Generator {
 public:
  Generator(Position& p, MoveList& list, bool inCheck) : p_(p), list_(list) {
    side_ = p.sideToMove;
    other_ = side_ ^ 1;
    pins_ = pinsAlong(p, rookDirs, Rook) | pinsAlong(p, diagonalDirs, Bishop);
    inCheck_ = inCheck;
    if (inCheck) findCheckers();
  }

  void all() { generate(false); }
  void captures() { generate(true); }

 private:
  void generate(bool capturesOnly) {
    enPassant();
    const PieceList& pieces = p_.pieceList[side_];
    for (int slot = 0; slot < SlotCount; ++slot) {
      const int from = pieces.slots[slot];
      if (!onBoard(from)) continue;
      const int type = p_.pieceType[from];
      const Check check = checkFor(from, type);
      if (check == Check::None) continue;
      switch (type) {
        case Pawn: pawnMoves(from, check, capturesOnly); break;
        case Knight: stepMoves(from, knightOffsets, check, capturesOnly); break;
        case King: stepMoves(from, kingOffsets, check, capturesOnly); break;
        case Rook: slideMoves(from, rookDirs, check, capturesOnly); break;
        case Bishop: slideMoves(from, diagonalDirs, check, capturesOnly); break;
        case Queen:
          slideMoves(from, rookDirs, check, capturesOnly);
          slideMoves(from, diagonalDirs, check, capturesOnly);
          break;
      }
    }
    if (!capturesOnly && !inCheck_) castling();
  }

  Check checkFor(int from, int type) const {
    if (type == King) return Check::KingStep;
    const bool pinned = (pins_ & bit(from)) != 0;
    if (!inCheck_) return pinned ? Check::Trial : Check::Free;
    if (checkers_ > 1) return Check::None;
    return pinned ? Check::PinnedEvasion : Check::Evasion;
  }

  // Counts the pieces giving check and marks the squares where a move can answer a single
  // check: the checker's square and, for a slider, the squares between it and the king.
  void findCheckers() {
    const int king = p_.kingSquare(side_);
    auto found = [&](int square) {
      ++checkers_;
      evasions_ |= bit(square);
    };
    for (int i = 0; i < 2; ++i) {
      const int s = king - diagonalDirs[2 * other_ + i];
      if (onBoard(s) && p_.pieceType[s] == Pawn && p_.colour[s] == other_) found(s);
    }
    for (int d : knightOffsets) {
      const int s = king - d;
      if (onBoard(s) && p_.pieceType[s] == Knight && p_.colour[s] == other_) found(s);
    }
    auto rays = [&](const int (&dirs)[4], int slider) {
      for (int d : dirs) {
        int s = king + d;
        uint64_t between = 0;
        while (onBoard(s) && p_.pieceType[s] == NoPiece) {
          between |= bit(s);
          s += d;
        }
        if (onBoard(s) && p_.colour[s] == other_ &&
            (p_.pieceType[s] == slider || p_.pieceType[s] == Queen)) {
          found(s);
          evasions_ |= between;
        }
      }
    };
    rays(rookDirs, Rook);
    rays(diagonalDirs, Bishop);
  }

  void add(Move m, Check check) {
    switch (check) {
      case Check::Free:
        break;
      case Check::KingStep: {
        // The king is lifted so that it does not shield its own target square from sliders.
        const int from = moveFromSquare(m), to = moveToSquare(m);
        p_.pieceType[from] = NoPiece;
        p_.colour[from] = NoColour;
        const bool attacked = isAttacked(p_, to, other_);
        p_.pieceType[from] = King;
        p_.colour[from] = uint8_t(side_);
        if (attacked) return;
        break;
      }
      case Check::Evasion:
        if (!(evasions_ & bit(moveToSquare(m)))) return;
        break;
      case Check::PinnedEvasion:
        if (!(evasions_ & bit(moveToSquare(m))) || !survivesTrial(m)) return;
        break;
      case Check::Trial:
        if (!survivesTrial(m)) return;
        break;
      case Check::None:
        return;
    }
    list_.add(m);
  }

  // Makes the move on the board and tests whether the own king is left attacked.
  bool survivesTrial(Move m) {
    UndoRecord undo;
    trialMake(p_, m, undo);
    const bool legal = !isAttacked(p_, p_.kingSquare(side_), other_);
    trialUnmake(p_, m, undo);
    return legal;
  }

  bool enemyOn(int s) const { return onBoard(s) && p_.colour[s] == other_; }

  void enPassant() {
    const int ep = p_.epSquare;
    if (ep == NoSquare) return;
    for (int i = 0; i < 2; ++i) {
      const int from = ep - diagonalDirs[2 * side_ + i];
      if (onBoard(from) && p_.pieceType[from] == Pawn && p_.colour[from] == side_)
        add(packMove(from, ep, EnPassantMove, 0), Check::Trial);
    }
  }

  void pawnMoves(int from, Check check, bool capturesOnly) {
    const int push = from + pawnPush[side_];
    if (rankOf(from) == pawnSeventhRank[side_]) {
      const int promotions = capturesOnly ? 1 : 4;
      for (int i = 0; i < 2; ++i) {
        const int to = from + diagonalDirs[2 * side_ + i];
        if (!enemyOn(to)) continue;
        for (int k = 0; k < promotions; ++k)
          add(packMove(from, to, PromotionMove, promotionOrder[k]), check);
      }
      if (p_.pieceType[push] == NoPiece)
        for (int k = 0; k < promotions; ++k)
          add(packMove(from, push, PromotionMove, promotionOrder[k]), check);
      return;
    }
    for (int i = 0; i < 2; ++i) {
      const int to = from + diagonalDirs[2 * side_ + i];
      if (enemyOn(to)) add(packMove(from, to, NormalMove, 0), check);
    }
    if (capturesOnly || p_.pieceType[push] != NoPiece) return;
    add(packMove(from, push, NormalMove, 0), check);
    const int twoSteps = push + pawnPush[side_];
    if (rankOf(from) == pawnStartRank[side_] && p_.pieceType[twoSteps] == NoPiece)
      add(packMove(from, twoSteps, NormalMove, 1), check);
  }

  void stepMoves(int from, const int (&offsets)[8], Check check, bool capturesOnly) {
    for (int d : offsets) {
      const int to = from + d;
      if (!onBoard(to) || p_.colour[to] == side_) continue;
      if (capturesOnly && p_.colour[to] != other_) continue;
      add(packMove(from, to, NormalMove, 0), check);
    }
  }

  void slideMoves(int from, const int (&dirs)[4], Check check, bool capturesOnly) {
    for (int d : dirs) {
      int to = from + d;
      for (; onBoard(to) && p_.pieceType[to] == NoPiece; to += d)
        if (!capturesOnly) add(packMove(from, to, NormalMove, 0), check);
      if (enemyOn(to)) add(packMove(from, to, NormalMove, 0), check);
    }
  }

  bool empty(int s) const { return p_.pieceType[s] == NoPiece; }

  void castling() {
    const int rights = p_.castlingRights;
    if (side_ == White) {
      if ((rights & CastleWK) && empty(F1) && empty(G1) && !isAttacked(p_, F1, Black))
        add(packMove(E1, G1, CastlingMove, 0), Check::Trial);
      if ((rights & CastleWQ) && empty(D1) && empty(C1) && empty(B1) && !isAttacked(p_, D1, Black))
        add(packMove(E1, C1, CastlingMove, 1), Check::Trial);
    } else {
      if ((rights & CastleBK) && empty(F8) && empty(G8) && !isAttacked(p_, F8, White))
        add(packMove(E8, G8, CastlingMove, 2), Check::Trial);
      if ((rights & CastleBQ) && empty(D8) && empty(C8) && empty(B8) && !isAttacked(p_, D8, White))
        add(packMove(E8, C8, CastlingMove, 3), Check::Trial);
    }
  }

  Position& p_;
  MoveList& list_;
  int side_;
  int other_;
  uint64_t pins_ = 0;       // own pieces pinned to the king
  bool inCheck_ = false;
  int checkers_ = 0;        // pieces giving check
  uint64_t evasions_ = 0;   // squares where a move answers a single check
};

}  // namespace

void generateMoves(Position& pos, bool inCheck, MoveList& list) {
  Generator(pos, list, inCheck).all();
}

void generateCaptures(Position& pos, MoveList& list) { Generator(pos, list, false).captures(); }

}  // namespace varnu
