// The protocol handlers. Each receives its arguments (their number already checked, and the
// search already stopped when its command-table row says so) and returns whether it succeeded.
#include <algorithm>
#include <climits>
#include <string>

#include "board/fen.h"
#include "board/move.h"
#include "board/number.h"
#include "engine/engine.h"
#include "eval/evaluate.h"

namespace varnu {

bool Engine::quit(const Args&) {
  quitRequested_ = true;
  return true;
}

bool Engine::xboard(const Args&) {
  out_.line("");
  xboardMode_ = true;
  return true;
}

bool Engine::protover(const Args&) { return true; }

bool Engine::newGame(const Args&) {
  setStartPosition();
  gameOver_ = false;
  forceMode_ = false;
  timeControl_.resetForNewGame();
  if (analyzeMode_) {
    engineSide_ = game_.position.sideToMove;
    timeControl_.timeControlActive = false;
  } else {
    engineSide_ = game_.position.sideToMove ^ 1;
  }
  printBoard(out_, game_.position);
  boardPrintPending_ = false;
  return true;
}

bool Engine::force(const Args&) {
  timeControl_.stopwatch.stop();
  engineSide_ = NoColour;
  forceMode_ = true;
  return true;
}

bool Engine::ping(const Args& args) {
  out_.printf("pong %d\n", parseNumber(args[0]));
  return true;
}

bool Engine::usermove(const Args&) { return true; }
bool Engine::go(const Args&) { return true; }
bool Engine::playother(const Args&) { return true; }

bool Engine::setboard(const Args& args) {
  std::string fen;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i) fen += ' ';
    fen += args[i];
  }
  // A refused text leaves the game as it was.
  Position scratch = game_.position;
  const bool accepted = setFromFen(scratch, fen);
  if (accepted) {
    game_.position = scratch;
    game_.empty();
  }
  boardPrintPending_ = true;
  gameOver_ = false;
  if (analyzeMode_) {
    engineSide_ = game_.position.sideToMove;
  } else {
    engineSide_ = NoColour;
    forceMode_ = true;
  }
  return accepted;
}

bool Engine::level(const Args& args) {
  const Args pieces = split(args[1], ':');
  if (pieces.size() > 2) return false;
  int64_t seconds = 60 * int64_t(parseNumber(pieces[0]));
  if (pieces.size() == 2) seconds += parseNumber(pieces[1]);
  const int64_t centiseconds = std::clamp<int64_t>(100 * seconds, INT32_MIN, INT32_MAX);
  const int64_t increment = std::clamp<int64_t>(100 * int64_t(parseNumber(args[2])), INT32_MIN,
                                                INT32_MAX);
  timeControl_.movesPerSession = uint32_t(parseNumber(args[0]));
  timeControl_.timePerSession = int32_t(centiseconds);
  timeControl_.increment = int32_t(increment);
  return true;
}

bool Engine::sd(const Args&) { return true; }

bool Engine::time(const Args& args) {
  timeControl_.setRemaining(parseNumber(args[0]), game_.count);
  return true;
}

bool Engine::undo(const Args&) { return true; }
bool Engine::remove(const Args&) { return true; }
bool Engine::analyze(const Args&) { return true; }
bool Engine::exit(const Args&) { return true; }
bool Engine::post(const Args&) { return true; }
bool Engine::nopost(const Args&) { return true; }

bool Engine::cores(const Args& args) {
  const int32_t n = parseNumber(args[0]);
  if (n < 1) return false;
  pool_.setCores(n);
  return true;
}

bool Engine::option(const Args&) { return true; }
bool Engine::book(const Args&) { return true; }
bool Engine::nobook(const Args&) { return true; }

bool Engine::perft(const Args& args) {
  const int32_t depth = parseNumber(args[0]);
  if (depth < 1 || depth > maxPerftDepth(game_.position)) return false;
  perftCommand(game_.position, perftTable_, depth, timeControl_.stopwatch, out_);
  return true;
}

bool Engine::divide(const Args& args) {
  const int32_t depth = parseNumber(args[0]);
  if (depth < 1 || depth > maxPerftDepth(game_.position)) return false;
  divideCommand(game_.position, perftTable_, depth, timeControl_.stopwatch, out_);
  return true;
}

bool Engine::selftest(const Args&) {
  runSelfTest(game_.position, perftTable_, out_);
  return newGame(Args{});
}

bool Engine::eval(const Args&) {
  printEvalBreakdown(out_, game_.position);
  return true;
}

}  // namespace varnu
