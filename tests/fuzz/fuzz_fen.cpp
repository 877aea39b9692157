// Fuzzes the FEN reader: any text is either refused or gives a position that the move generator,
// make/unmake, perft, the evaluation and the book key handle without fault, in standard chess and
// in Chess960.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "board/fen.h"
#include "board/make_move.h"
#include "board/move.h"
#include "board/movegen.h"
#include "board/perft.h"
#include "book/opening_book.h"
#include "eval/evaluate.h"

using namespace varnu;

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

bool sameBoard(const Position& a, const Position& b) {
  return a.materialPst[0] == b.materialPst[0] && a.materialPst[1] == b.materialPst[1] &&
         a.pieceList[0] == b.pieceList[0] && a.pieceList[1] == b.pieceList[1] &&
         a.castlingRights == b.castlingRights && a.epSquare == b.epSquare &&
         a.halfmoveClock == b.halfmoveClock && a.sideToMove == b.sideToMove &&
         a.historyCount == b.historyCount && a.key() == b.key();
}

// The checks of one accepted position. Its FEN text, written back and read in the same mode,
// gives the same position.
void checkPosition(Position& pos, bool chess960) {
  static PerftHashTable table(1);
  auto reread = std::make_unique<Position>();
  require(setFromFen(*reread, fenText(pos, 1), chess960));
  require(sameBoard(*reread, pos) && reread->castling == pos.castling);
  MoveList list;
  generateMoves(pos, inCheck(pos), list);
  uint64_t replies = 0;
  for (uint32_t i = 0; i < list.count; ++i) {
    const Position before = pos;
    UndoRecord undo;
    makeMove(pos, list.entries[i].move, undo);
    evaluate(pos, -MateScore, MateScore);
    MoveList next;
    generateMoves(pos, inCheck(pos), next);
    replies += next.count;
    unmakeMove(pos, list.entries[i].move, undo);
    require(sameBoard(pos, before));
  }
  // The quiescence list is the full list's captures, en passant moves and queen promotions, in
  // the same order.
  if (!inCheck(pos)) {
    MoveList captures;
    generateCaptures(pos, captures);
    uint32_t matched = 0;
    for (uint32_t i = 0; i < list.count; ++i) {
      const Move m = list.entries[i].move;
      const int kind = moveKind(m);
      const bool taken = kind == PromotionMove
                             ? promotionType(m) == Queen
                             : kind == EnPassantMove || (kind != CastlingMove &&
                                                         pos.pieceType[moveToSquare(m)] != NoPiece);
      if (taken) require(matched < captures.count && captures.entries[matched++].move == m);
    }
    require(matched == captures.count);
  }
  table.clear();
  uint64_t counter = 0;
  require(perft(pos, table, 2, counter) == replies);
  EvalBreakdown breakdown;
  require(evaluateWithBreakdown(pos, breakdown) == evaluate(pos, -MateScore, MateScore));
  evalTable(pos);
  polyglotKey(pos);
}

}  // namespace

// Every text is read twice: as standard chess and as Chess960, whose castling fields differ.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const bool chess960 : {false, true}) {
    auto pos = std::make_unique<Position>();
    if (setFromFen(*pos, text, chess960)) checkPosition(*pos, chess960);
  }
  return 0;
}
