#include "board/game_end.h"

#include <algorithm>

#include "board/movegen.h"

namespace varnu {

DrawResult checkDraw(Position& p) {
  if (p.halfmoveClock >= 100) return {true, FiftyMoveDraw};
  const PieceList& w = p.pieceList[White];
  const PieceList& b = p.pieceList[Black];
  const bool noMajorsOrPawns = w.typeCount[Pawn] + w.typeCount[Rook] + w.typeCount[Queen] +
                                   b.typeCount[Pawn] + b.typeCount[Rook] + b.typeCount[Queen] ==
                               0;
  if (noMajorsOrPawns && ((w.pieceCount <= 2 && b.pieceCount == 1) ||
                          (w.pieceCount == 1 && b.pieceCount <= 2)))
    return {true, MaterialDraw};
  if (p.halfmoveClock >= 4) {
    const int n = p.historyCount;
    const uint64_t key = p.history[n].key;
    const int oldest = std::max(n - int(p.halfmoveClock), 0);
    for (int i = n - 4; i >= oldest; i -= 2) {
      if (p.history[i].key == key) {
        const int r = p.history[i].repetitions + 1;
        p.history[n].repetitions = uint16_t(r);
        return {true, r >= 2 ? RepetitionDraw : NoDraw};
      }
    }
  }
  return {false, NoDraw};
}

GameEnd gameEnd(Position& p) {
  MoveList list;
  const bool check = inCheck(p);
  generateMoves(p, check, list);
  if (list.count == 0) {
    if (!check) return GameEnd::Stalemate;
    return p.sideToMove == Black ? GameEnd::WhiteMates : GameEnd::BlackMates;
  }
  return checkDraw(p).code == MaterialDraw ? GameEnd::InsufficientMaterial : GameEnd::None;
}

std::string_view gameEndText(GameEnd end) {
  switch (end) {
    case GameEnd::WhiteMates:
      return "1-0 {White wins by checkmate}";
    case GameEnd::BlackMates:
      return "0-1 {Black wins by checkmate}";
    case GameEnd::Stalemate:
      return "1/2-1/2 {Stalemate}";
    case GameEnd::InsufficientMaterial:
      return "1/2-1/2 {Draw by insufficient material}";
    case GameEnd::None:
      break;
  }
  return "";
}

}  // namespace varnu
