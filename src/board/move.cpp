#include "board/move.h"

#include "board/movegen.h"

namespace varnu {

std::string moveToText(Move m) {
  std::string text;
  int from = moveFrom(m), to = moveTo(m);
  text += char('a' + (from & 7));
  text += char('1' + (from >> 3));
  text += char('a' + (to & 7));
  text += char('1' + (to >> 3));
  if (int promo = promotionType(m)) text += pieceLetters[promo];
  return text;
}

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

}  // namespace

Move parseUserMove(Position& pos, std::string_view text) {
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
  MoveList list;
  generateMoves(pos, inCheck(pos), list);
  for (uint32_t i = 0; i < list.count; ++i) {
    Move m = list.entries[i].move;
    if (moveFromSquare(m) == from && moveToSquare(m) == to && promotionType(m) == promo) return m;
  }
  return NullMove;
}

}  // namespace varnu
