#include "board/move.h"

#include "board/movegen.h"

namespace varnu {

MoveNotation moveNotation(const Position& pos, CastlingNotation castling) {
  MoveNotation n;
  n.castling = castling;
  for (int code = 0; code < 4; ++code) n.rookSquare[code] = pos.castling.rookSquare[code];
  return n;
}

namespace {

void appendSquare(std::string& text, int index64) {
  text += char('a' + (index64 & 7));
  text += char('1' + (index64 >> 3));
}

}  // namespace

std::string moveToText(Move m, const MoveNotation& notation) {
  std::string text;
  int from = moveFrom(m), to = moveTo(m);
  if (moveKind(m) == CastlingMove && notation.castling != CastlingNotation::KingTarget) {
    const int code = moveExtra(m);
    if (notation.castling == CastlingNotation::Castles) return code % 2 == 0 ? "O-O" : "O-O-O";
    to = square64(notation.rookSquare[code]);
  }
  appendSquare(text, from);
  appendSquare(text, to);
  if (int promo = promotionType(m)) text += pieceLetters[promo];
  return text;
}

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

}  // namespace

Move parseUserMove(Position& pos, std::string_view text, CastlingNotation castling) {
  MoveList list;
  const bool chess960 = castling != CastlingNotation::KingTarget;
  if (castling == CastlingNotation::Castles && (text == "O-O" || text == "O-O-O")) {
    generateMoves(pos, inCheck(pos), list);
    const int code = 2 * pos.sideToMove + (text.size() == 5 ? 1 : 0);
    for (uint32_t i = 0; i < list.count; ++i) {
      const Move m = list.entries[i].move;
      if (moveKind(m) == CastlingMove && moveExtra(m) == code) return m;
    }
    return NullMove;
  }
  if (text.size() < 4) return NullMove;
  int fromFile = lower(text[0]) - 'a', fromRank = text[1] - '1';
  int toFile = lower(text[2]) - 'a', toRank = text[3] - '1';
  int promo = NoPiece;
  if (text.size() > 4) {
    switch (lower(text[4])) {
      case 'q': promo = Queen; break;
      case 'r': promo = Rook; break;
      case 'b': promo = Bishop; break;
      case 'n': promo = Knight; break;
      default: return NullMove;
    }
  }
  for (int v : {fromFile, fromRank, toFile, toRank})
    if (v < 0 || v > 7) return NullMove;
  int from = makeSquare(fromRank, fromFile), to = makeSquare(toRank, toFile);
  generateMoves(pos, inCheck(pos), list);
  for (uint32_t i = 0; i < list.count; ++i) {
    Move m = list.entries[i].move;
    int target = moveToSquare(m);
    // In Chess960 a castling is named by the rook it takes, never by the king's target square.
    if (chess960 && moveKind(m) == CastlingMove) target = pos.castling.rookSquare[moveExtra(m)];
    if (moveFromSquare(m) == from && target == to && promotionType(m) == promo) return m;
  }
  return NullMove;
}

}  // namespace varnu
