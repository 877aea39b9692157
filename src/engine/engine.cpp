#include "engine/engine.h"

#include <cstring>

#include "board/fen.h"
#include "board/game_end.h"
#include "board/move.h"
#include "board/movegen.h"
#include "board/number.h"

namespace varnu {

Engine::Engine(Output& out) : out_(out), pool_(out, timeControl_) { setStartPosition(); }

// The search must end before the game it plays into goes away.
Engine::~Engine() { pool_.abortSearch(); }

void Engine::printBanner() {
  out_.block("# " + std::string(EngineName) +
             "\n# a chess engine for xboard/CECP front ends, by the Varnu developers\n# \n"
             "feature done=0\n");
}

void Engine::readOptions(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    if (option != "-cores") {
      out_.printf("# warning: found unknown command line option \"%s\"\n", argv[i]);
      continue;
    }
    if (i + 1 >= argc) {
      out_.line("# warning: missing argument for command line option \"-cores\"");
      continue;
    }
    const int32_t n = parseNumber(argv[++i]);
    if (n >= 1) {
      pool_.setCores(n);
    } else {
      out_.printf(
          "# warning: found bad argument \"%d\" for command line option \"-cores\", must be a "
          "positive number\n",
          n);
    }
  }
}

void Engine::setStartPosition() {
  setFromFen(game_.position, StartFen);
  game_.empty();
  updateNotation();
}

void Engine::updateNotation() {
  notation_ = moveNotation(game_.position,
                           chess960_ ? CastlingNotation::Castles : CastlingNotation::KingTarget);
}

int Engine::run(LineReader& reader) {
  startUp();
  std::string line;
  bool firstCommand = true;
  while (!quitRequested_) {
    {
      std::lock_guard<std::mutex> lock(gameMutex_);
      if (boardPrintPending_) printBoardNow();
    }
    if (!xboardMode_) out_.prompt("# Your move: ");
    if (!reader.next(line)) {
      endOfInput();
      break;
    }
    if (firstCommand && line == "uci") {
      uciRequested_ = true;
      return 0;
    }
    firstCommand = firstCommand && line.empty();
    execute(line);
  }
  return 0;
}

void Engine::startUp() {
  pool_.ensureTable();
  pool_.rebuildWorkers(false);
  setStartPosition();
  boardPrintPending_ = true;
}

void Engine::execute(std::string_view line) {
  if (!dispatch(line))
    out_.printf("# command \"%.*s\" returned an error code \n", int(line.size()), line.data());
  if (quitRequested_) return;
  std::lock_guard<std::mutex> lock(gameMutex_);
  afterCommand();
}

void Engine::endOfInput() {
  // A timed search still plays its move; an analysis would never end, so it is stopped.
  if (analyzeMode_ || !timeControl_.timeControlActive) pool_.abortSearch();
  pool_.waitIdle();
  quitRequested_ = true;
}

void Engine::afterCommand() {
  if (pool_.anyBusy()) return;
  if (!gameOver_) gameOver_ = checkGameEnd(game_.position, out_);
  if (gameOver_) {
    engineSide_ = NoColour;
    forceMode_ = true;
  }
  if (engineSide_ == game_.position.sideToMove && game_.count < GameRecord::Capacity) {
    // The book holds standard chess only.
    SearchRequest request;
    request.bookAllowed = !chess960_;
    request.notation = notation_;
    pool_.startSearch(game_.position, game_.count, this, request);
  }
}

void Engine::printBoardNow() {
  printBoard(out_, game_.position);
  boardPrintPending_ = false;
}

void Engine::onSearchDone(Move m) {
  std::lock_guard<std::mutex> lock(gameMutex_);
  if (drawOfferCheck(m)) out_.line("offer draw");
  const std::string text = moveToText(m, notation_);
  out_.line("# making engine move: " + text);
  game_.appendAndMake(m);
  boardPrintPending_ = true;
  out_.line("move " + text);
  printBoardNow();
  if (!gameOver_) gameOver_ = checkGameEnd(game_.position, out_);
  if (gameOver_) {
    engineSide_ = NoColour;
    forceMode_ = true;
  }
}

bool Engine::drawOfferCheck(Move m) {
  game_.appendAndMake(m);
  Position& pos = game_.position;
  MoveList replies;
  generateMoves(pos, inCheck(pos), replies);
  bool offer = false;
  if (replies.count > 0) {
    const DrawCode code = checkDraw(pos).code;
    offer = code == FiftyMoveDraw || code == RepetitionDraw;
  }
  game_.takeBack(1);
  return offer;
}

bool Engine::dispatch(std::string_view line) {
  if (line.empty()) return true;
  const Command* command = findCommand(line);
  if (!command) return true;
  const size_t space = line.find(' ');
  Args args;
  if (space == std::string_view::npos) {
    if (command->minArgs > 0) {
      out_.printf("Error (missing arguments, expected at least %u): %.*s\n", command->minArgs,
                  int(line.size()), line.data());
      return false;
    }
    args = split("", ' ');
  } else {
    args = split(line.substr(space + 1), ' ');
    if (args.size() < command->minArgs) {
      out_.printf("Error (missing arguments, expected at least %u): %.*s\n", command->minArgs,
                  int(line.size()), line.data());
      return false;
    }
    if (args.size() > command->maxArgs) {
      out_.printf("Error (too many arguments, expected at most %u): %.*s\n", command->maxArgs,
                  int(line.size()), line.data());
      return false;
    }
  }
  if (command->onSearch == SearchEffect::Stops) pool_.abortSearch();
  // Only the engine's own move is cut short; an analysis has no move to make.
  if (command->onSearch == SearchEffect::MovesNow && !analyzeMode_) pool_.moveNow();
  // "pong" may only follow everything asked before it: while the engine thinks on its own move,
  // that is after the move (an analysis has none, so it answers at once).
  if (command->onSearch == SearchEffect::AwaitsMove && !analyzeMode_) pool_.waitIdle();
  std::lock_guard<std::mutex> lock(gameMutex_);
  return (this->*command->handler)(args);
}

}  // namespace varnu
