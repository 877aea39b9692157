#include "board/movegen.h"

#include <bit>

#include "board/bitboard.h"
#include "board/make_move.h"

namespace varnu {

namespace {

// Pieces of colour by that attack the square when the board holds the occupied set: pawns,
// knights and kings by their tables, sliders by their rays when one stands on a line with it.
bool attackedWith(const Position& p, int square, int by, Bitboard occupied) {
  const int index = square64(square);
  const Bitboard them = p.colourSet[by];
  const AttackTables& t = attackTables;
  if (t.pawn[by ^ 1][index] & them & p.typeSet[Pawn]) return true;
  if (t.knight[index] & them & p.typeSet[Knight]) return true;
  if (t.king[index] & them & p.typeSet[King]) return true;
  const Bitboard straight = them & (p.typeSet[Rook] | p.typeSet[Queen]);
  if ((t.straight[index] & straight) && (straightAttacks(index, occupied) & straight)) return true;
  const Bitboard diagonal = them & (p.typeSet[Bishop] | p.typeSet[Queen]);
  return (t.diagonal[index] & diagonal) && (diagonalAttacks(index, occupied) & diagonal);
}

}  // namespace

bool isAttacked(const Position& p, int square, int by) {
  return attackedWith(p, square, by, p.occupied());
}

namespace {

// Unit step from one 0x88 square to another on the same rank, file or diagonal, else 0; indexed
// by the difference plus 119.
struct LineStepTable {
  int8_t step[239];
};
constexpr LineStepTable makeLineSteps() {
  LineStepTable t{};
  for (int d : kingOffsets)
    for (int n = 1; n < 8; ++n) t.step[119 + n * d] = int8_t(d);
  return t;
}
constexpr LineStepTable lineSteps = makeLineSteps();

constexpr int lineStep(int from, int to) { return lineSteps.step[119 + to - from]; }

// Own pieces that stand alone between the king and an enemy slider that could move to it.
Bitboard findPins(const Position& p) {
  const int side = p.sideToMove, other = side ^ 1;
  const int king = square64(p.kingSquare(side));
  const Bitboard queens = p.typeSet[Queen];
  const Bitboard snipers =
      p.colourSet[other] & ((attackTables.straight[king] & (p.typeSet[Rook] | queens)) |
                            (attackTables.diagonal[king] & (p.typeSet[Bishop] | queens)));
  const Bitboard occupied = p.occupied();
  Bitboard pins = 0;
  for (Bitboard set = snipers; set; set &= set - 1) {
    const Bitboard between = attackTables.between[king][lowestIndex(set)] & occupied;
    if (between && !(between & (between - 1)) && (between & p.colourSet[side])) pins |= between;
  }
  return pins;
}

// Promotion codes in generation order: queen, knight, rook, bishop.
constexpr int promotionOrder[4] = {Queen - 2, Knight - 2, Rook - 2, Bishop - 2};

// How the moves of one piece are made sure to be legal.
enum class Check {
  Free,           // legal as generated: not in check, not pinned
  Pinned,         // not in check but pinned: the move must stay on the line through the king
  Trial,          // tried on the board: en passant and castling
  KingStep,       // the king's target must not be attacked once the king has left its square
  Evasion,        // in single check, not pinned: only captures of the checker or blocks
  PinnedEvasion,  // in single check and pinned: a block or capture that stays on the pin line
  None,           // in double check: only the king may move
};

// The rays of rookDirs and diagonalDirs, in the same order.
constexpr RayDirection straightRays[4] = {West, North, East, South};
constexpr RayDirection diagonalRays[4] = {NorthWest, NorthEast, SouthEast, SouthWest};

// Ray of a unit step between two squares on a line.
constexpr RayDirection rayOfStep(int step) {
  switch (step) {
    case 16:
      return North;
    case 1:
      return East;
    case 17:
      return NorthEast;
    case 15:
      return NorthWest;
    case -16:
      return South;
    case -1:
      return West;
    case -17:
      return SouthWest;
    default:
      return SouthEast;
  }
}

enum class Generation { All, Captures, Count };

// Generates every legal move, or the quiescence moves, or counts every legal move without listing
// them; a template so that each kind is compiled without the others' tests.
template <Generation Kind>
class Generator {
  static constexpr bool CapturesOnly = Kind == Generation::Captures;
  static constexpr bool Counting = Kind == Generation::Count;

 public:
  Generator(Position& p, MoveList* list, bool inCheck) : p_(p), list_(list) {
    side_ = p.sideToMove;
    other_ = side_ ^ 1;
    king_ = p.kingSquare(side_);
    occupied_ = p.occupied();
    pins_ = findPins(p);
    inCheck_ = inCheck;
    if (inCheck) findCheckers();
  }

  void generate() {
    if constexpr (CapturesOnly) {
      captures();
    } else {
      enPassant();
      const PieceList& pieces = p_.pieceList[side_];
      for (int slot = 0; slot < SlotCount; ++slot) {
        const int from = pieces.slots[slot];
        if (!onBoard(from)) continue;
        const int type = p_.pieceType[from];
        const Check check = checkFor(from, type);
        if (check == Check::None) continue;
        if constexpr (Counting) {
          if (type == Knight || type == Bishop || type == Rook || type == Queen) {
            count_ += targetCount(from, type, check);
            continue;
          }
        }
        movesOf(from, type, check);
      }
      if (!inCheck_) castling();
    }
  }

  // The quiescence moves in the slot walk's order. The pieces with an enemy in reach are found
  // type by type from the sets, each with its targets, and noted by slot; the walk then visits
  // only those, most often none or one. Unslotted pieces note slot 16, which the walk leaves out.
  void captures() {
    enPassant();
    const Bitboard enemy = p_.colourSet[other_];
    const Bitboard mine = p_.colourSet[side_];
    const AttackTables& t = attackTables;
    Bitboard hits[SlotCount + 1];
    uint32_t slots = 0;
    const auto note = [&](Bitboard set, int index) {
      const int slot = p_.listSlot[square0x88(index)];
      hits[slot] = set;
      slots |= uint32_t(1) << slot;
    };
    // Pawns that capture, and every pawn on the seventh rank, whose push promotes.
    const Bitboard pawns = mine & p_.typeSet[Pawn];
    const Bitboard seventh = side_ == White ? 0x00FF000000000000ull : 0x000000000000FF00ull;
    constexpr Bitboard fileA = 0x0101010101010101ull, fileH = fileA << 7;
    const Bitboard takers = side_ == White ? ((enemy >> 7) & ~fileA) | ((enemy >> 9) & ~fileH)
                                           : ((enemy << 7) & ~fileH) | ((enemy << 9) & ~fileA);
    for (Bitboard set = pawns & (takers | seventh); set; set &= set - 1) {
      const int index = lowestIndex(set);
      const Bitboard h = t.pawn[side_][index] & enemy;
      if (h || (set & -set & seventh)) note(h, index);
    }
    for (Bitboard set = mine & p_.typeSet[Knight]; set; set &= set - 1) {
      const int index = lowestIndex(set);
      if (const Bitboard h = t.knight[index] & enemy) note(h, index);
    }
    const Bitboard queens = p_.typeSet[Queen];
    for (Bitboard set = mine & (p_.typeSet[Rook] | queens | p_.typeSet[Bishop]); set;
         set &= set - 1) {
      const int index = lowestIndex(set);
      const Bitboard bit = set & -set;
      Bitboard h = 0;
      if ((bit & ~p_.typeSet[Bishop]) && (t.straight[index] & enemy))
        h = straightAttacks(index, occupied_) & enemy;
      if ((bit & ~p_.typeSet[Rook]) && (t.diagonal[index] & enemy))
        h |= diagonalAttacks(index, occupied_) & enemy;
      if (h) note(h, index);
    }
    if (const Bitboard h = t.king[square64(king_)] & enemy) note(h, square64(king_));

    for (slots &= (uint32_t(1) << SlotCount) - 1; slots; slots &= slots - 1) {
      const int slot = std::countr_zero(slots);
      const int from = p_.pieceList[side_].slots[slot];
      const int index = square64(from);
      const int type = p_.pieceType[from];
      switch (type) {
        case Pawn:
          if (rankOf(from) == pawnSeventhRank[side_])
            pawnMoves(from, checkFor(from, Pawn));
          else
            stepCaptures(from, diagonalDirs + 2 * side_, 2, hits[slot], checkFor(from, Pawn));
          break;
        case Knight:
          stepCaptures(from, knightOffsets, 8, hits[slot], checkFor(from, Knight));
          break;
        case King:
          stepCaptures(from, kingOffsets, 8, hits[slot], Check::KingStep);
          break;
        case Rook:
          rayCaptures(from, straightRays, hits[slot], checkFor(from, Rook));
          break;
        case Bishop:
          rayCaptures(from, diagonalRays, hits[slot], checkFor(from, Bishop));
          break;
        default: {
          const Check check = checkFor(from, Queen);
          const Bitboard straight = hits[slot] & t.straight[index];
          const Bitboard diagonal = hits[slot] & t.diagonal[index];
          if (straight) rayCaptures(from, straightRays, straight, check);
          if (diagonal) rayCaptures(from, diagonalRays, diagonal, check);
          break;
        }
      }
    }
  }

  // Captures on the non-empty set of hits, in the order of the piece's steps.
  void stepCaptures(int from, const int* steps, int stepCount, Bitboard hits, Check check) {
    if (!(hits & (hits - 1))) {
      add(packMove(from, square0x88(lowestIndex(hits)), NormalMove, 0), check);
      return;
    }
    for (int i = 0; i < stepCount; ++i) {
      const int to = from + steps[i];
      if (onBoard(to) && (hits & bitOf(to))) add(packMove(from, to, NormalMove, 0), check);
    }
  }

  // Captures on the non-empty set of hits of a slider, one per ray at most, in the rays' order.
  void rayCaptures(int from, const RayDirection (&rays)[4], Bitboard hits, Check check) {
    if (!(hits & (hits - 1))) {
      add(packMove(from, square0x88(lowestIndex(hits)), NormalMove, 0), check);
      return;
    }
    const int index = square64(from);
    for (const RayDirection ray : rays) {
      const Bitboard hit = hits & attackTables.ray[ray][index];
      if (hit) add(packMove(from, square0x88(lowestIndex(hit)), NormalMove, 0), check);
    }
  }

  // The moves of the piece on the square, as generate lists them: none unless it is a piece of
  // the side to move that a slot walk meets.
  void pieceMoves(int from) {
    if (!onBoard(from) || p_.colour[from] != side_ || p_.listSlot[from] == NoSlot) return;
    const int type = p_.pieceType[from];
    const Check check = checkFor(from, type);
    if (check != Check::None) movesOf(from, type, check);
  }

  // The moves counted, at most as many as a move list holds.
  uint32_t count() const { return count_ < MoveList::Capacity ? count_ : MoveList::Capacity; }

 private:
  void movesOf(int from, int type, Check check) {
    switch (type) {
      case Pawn:
        pawnMoves(from, check);
        break;
      case Knight:
        stepMoves(from, knightOffsets, attackTables.knight, check);
        break;
      case King:
        stepMoves(from, kingOffsets, attackTables.king, check);
        break;
      case Rook:
        slideMoves(from, rookDirs, check);
        break;
      case Bishop:
        slideMoves(from, diagonalDirs, check);
        break;
      case Queen:
        slideMoves(from, rookDirs, check);
        slideMoves(from, diagonalDirs, check);
        break;
    }
  }

  Check checkFor(int from, int type) const {
    if (type == King) return Check::KingStep;
    const bool pinned = (pins_ & bitOf(from)) != 0;
    if (!inCheck_) return pinned ? Check::Pinned : Check::Free;
    if (checkers_ > 1) return Check::None;
    return pinned ? Check::PinnedEvasion : Check::Evasion;
  }

  // Counts the pieces giving check and marks the squares where a move can answer a single
  // check: the checker's square and, for a slider, the squares between it and the king.
  void findCheckers() {
    const int king = square64(king_);
    const AttackTables& t = attackTables;
    const Bitboard queens = p_.typeSet[Queen];
    const Bitboard checkers =
        p_.colourSet[other_] &
        ((t.pawn[side_][king] & p_.typeSet[Pawn]) | (t.knight[king] & p_.typeSet[Knight]) |
         (straightAttacks(king, occupied_) & (p_.typeSet[Rook] | queens)) |
         (diagonalAttacks(king, occupied_) & (p_.typeSet[Bishop] | queens)));
    checkers_ = popCount(checkers);
    evasions_ = checkers;
    for (Bitboard set = checkers; set; set &= set - 1)
      evasions_ |= t.between[king][lowestIndex(set)];
  }

  // The moves of a knight or slider, all at once: its targets that are empty or hold an enemy,
  // cut to the squares its check allows, as add would.
  uint32_t targetCount(int from, int type, Check check) const {
    const int index = square64(from);
    Bitboard targets = type == Knight ? attackTables.knight[index]
                       : type == Rook ? straightAttacks(index, occupied_)
                       : type == Bishop
                           ? diagonalAttacks(index, occupied_)
                           : straightAttacks(index, occupied_) | diagonalAttacks(index, occupied_);
    targets &= ~p_.colourSet[side_];
    if (check == Check::Pinned || check == Check::PinnedEvasion)
      targets &= attackTables.ray[rayOfStep(lineStep(king_, from))][square64(king_)];
    if (check == Check::Evasion || check == Check::PinnedEvasion) targets &= evasions_;
    return uint32_t(popCount(targets));
  }

  // A pinned piece keeps the king covered only on the line from the king through its square.
  bool staysOnPinLine(Move m) const {
    return lineStep(king_, moveFromSquare(m)) == lineStep(king_, moveToSquare(m));
  }

  void add(Move m, Check check) {
    switch (check) {
      case Check::Free:
        break;
      case Check::Pinned:
        if (!staysOnPinLine(m)) return;
        break;
      case Check::KingStep:
        // The king is lifted so that it does not shield its own target square from sliders.
        if (attackedWith(p_, moveToSquare(m), other_, occupied_ ^ bitOf(king_))) return;
        break;
      case Check::Evasion:
        if (!(evasions_ & bitOf(moveToSquare(m)))) return;
        break;
      case Check::PinnedEvasion:
        if (!(evasions_ & bitOf(moveToSquare(m))) || !staysOnPinLine(m)) return;
        break;
      case Check::Trial:
        if (!survivesTrial(m)) return;
        break;
      case Check::None:
        return;
    }
    if constexpr (Counting)
      ++count_;
    else
      list_->add(m);
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

  void pawnMoves(int from, Check check) {
    const int push = from + pawnPush[side_];
    if (rankOf(from) == pawnSeventhRank[side_]) {
      const int promotions = CapturesOnly ? 1 : 4;
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
    if (attackTables.pawn[side_][square64(from)] & p_.colourSet[other_]) {
      for (int i = 0; i < 2; ++i) {
        const int to = from + diagonalDirs[2 * side_ + i];
        if (enemyOn(to)) add(packMove(from, to, NormalMove, 0), check);
      }
    }
    if (CapturesOnly || p_.pieceType[push] != NoPiece) return;
    add(packMove(from, push, NormalMove, 0), check);
    const int twoSteps = push + pawnPush[side_];
    if (rankOf(from) == pawnStartRank[side_] && p_.pieceType[twoSteps] == NoPiece)
      add(packMove(from, twoSteps, NormalMove, 1), check);
  }

  void stepMoves(int from, const int (&offsets)[8], const Bitboard (&targets)[64], Check check) {
    const Bitboard wanted = ~p_.colourSet[side_];
    if (!(targets[square64(from)] & wanted)) return;
    for (int d : offsets) {
      const int to = from + d;
      if (onBoard(to) && (wanted & bitOf(to))) add(packMove(from, to, NormalMove, 0), check);
    }
  }

  void slideMoves(int from, const int (&dirs)[4], Check check) {
    for (int d : dirs) {
      int to = from + d;
      for (; onBoard(to) && p_.pieceType[to] == NoPiece; to += d)
        add(packMove(from, to, NormalMove, 0), check);
      if (enemyOn(to)) add(packMove(from, to, NormalMove, 0), check);
    }
  }

  bool empty(int s) const { return p_.pieceType[s] == NoPiece; }

  void castling() {
    const int rights = p_.castlingRights;
    if (!p_.castling.standard) {
      chess960Castling(rights);
      return;
    }
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

  // Castling by the position's layout, king side before queen side: the squares both pieces
  // cross and land on are empty but for the two, and no square the king crosses or lands on
  // is attacked. The trial then sees the king safe with the rook moved.
  void chess960Castling(int rights) {
    for (int code = 2 * side_; code < 2 * side_ + 2; ++code) {
      if (!(rights & (1 << code)) || (occupied_ & p_.castling.mustBeEmpty[code])) continue;
      bool safe = true;
      for (Bitboard set = p_.castling.mustBeSafe[code]; set && safe; set &= set - 1)
        safe = !isAttacked(p_, square0x88(lowestIndex(set)), other_);
      if (safe) add(packMove(king_, castlingKingTarget[code], CastlingMove, code), Check::Trial);
    }
  }

  Position& p_;
  MoveList* list_;  // null when counting
  uint32_t count_ = 0;
  int side_;
  int other_;
  int king_;               // the side to move's king (0x88)
  Bitboard occupied_ = 0;  // every piece on the board
  Bitboard pins_ = 0;      // own pieces pinned to the king
  bool inCheck_ = false;
  int checkers_ = 0;       // pieces giving check
  Bitboard evasions_ = 0;  // squares where a move answers a single check
};

}  // namespace

void generateMoves(Position& pos, bool inCheck, MoveList& list) {
  Generator<Generation::All>(pos, &list, inCheck).generate();
}

// Kept out of line: inlined into the quiescence search, which recurses, it made the bench about
// 2 % slower.
[[gnu::noinline]] void generateCaptures(Position& pos, MoveList& list) {
  Generator<Generation::Captures>(pos, &list, false).generate();
}

void generatePieceMoves(Position& pos, int from, MoveList& list) {
  Generator<Generation::All>(pos, &list, false).pieceMoves(from);
}

uint32_t countMoves(Position& pos, bool inCheck) {
  Generator<Generation::Count> generator(pos, nullptr, inCheck);
  generator.generate();
  return generator.count();
}

}  // namespace varnu
