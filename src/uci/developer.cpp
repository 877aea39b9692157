// The developer commands of the UCI front end: "go perft", "eval" and "d".
#include "board/fen.h"
#include "board/move.h"
#include "board/number.h"
#include "eval/evaluate.h"
#include "uci/uci.h"

namespace varnu {

bool UciEngine::awaitSearchFor(std::string_view command) {
  if (!positionValid_) {
    info(std::string(command) + " refused: no valid position");
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!goPending_) return true;
    if (waitsForStop()) {
      info(std::string(command) + " refused while searching: send stop first");
      return false;
    }
  }
  // The search ends by itself and sends its bestmove.
  pool_.waitIdle();
  return true;
}

void UciEngine::perft(const Words& words) {
  const int maxDepth = maxPerftDepth(game_);
  const int32_t depth = words.size() == 3 ? parseNumber(words[2]) : 0;
  if (depth < 1 || depth > maxDepth) {
    info("go perft needs a depth from 1 to " + std::to_string(maxDepth));
    return;
  }
  if (!awaitSearchFor("go perft")) return;
  Stopwatch& watch = session_.clock.stopwatch;
  watch.reset();
  watch.markAndStart();
  if (!perftTable_) perftTable_ = std::make_unique<PerftHashTable>(PerftHashMegabytes);
  // Chess960 castling is written as the king taking its rook, which no other move can be.
  const MoveNotation notation = moveNotation(
      game_, game_.castling.standard ? CastlingNotation::KingTarget : CastlingNotation::KingTakesRook);
  const RootMoveCount each = [&](Move m, uint64_t n) {
    out_.line(moveToText(m, notation) + " " + std::to_string(n));
  };
  PerftTotals totals = countLeaves(game_, *perftTable_, depth, &each);
  watch.stop();
  totals.time = watch.sinceMark();
  out_.block(perftTotalsText(totals, ""));
}

void UciEngine::eval() {
  if (awaitSearchFor("eval")) out_.block(evalTable(game_));
}

void UciEngine::display() {
  if (awaitSearchFor("d"))
    out_.block(boardText(game_, "") + "Fen: " + fenText(game_, fullmoveNumber_) + "\n");
}

}  // namespace varnu
