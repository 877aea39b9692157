#include "xboard/xboard.h"

#include "board/fen.h"
#include "board/game_end.h"

namespace varnu {

XboardFrontEnd::XboardFrontEnd(Engine& engine, Output& out) : engine_(engine), out_(out) {
  // Castling in Chess960 is "O-O" and "O-O-O".
  engine_.attach(*this, FrontEndStyle{CastlingNotation::Castles, false});
}

XboardFrontEnd::~XboardFrontEnd() { engine_.detach(*this); }

void XboardFrontEnd::printBanner(bool withTitle) {
  out_.block((withTitle ? startupLine() + "\n" : std::string()) +
             "# a chess engine for xboard/CECP front ends, by " + std::string(EngineAuthor) +
             "\n# \nfeature done=0\n");
}

void XboardFrontEnd::applyCommandLine(const std::vector<CommandLineItem>& items) {
  for (const std::string& warning : engine_.applyCommandLine(items)) out_.line("# " + warning);
  // Quiet (the comments are dropped already): no thinking output either until "post" asks.
  if (wantsQuiet(items)) postThinking_ = false;
}

void XboardFrontEnd::setStartPosition() { engine_.setPosition(StartFen); }

int XboardFrontEnd::run(LineReader& reader) {
  startUp();
  std::string line;
  bool firstCommand = true;
  while (!quitRequested_) {
    if (boardPrintPending_) printBoardNow();
    if (!xboardMode_) out_.prompt("# Your move: ");
    if (!reader.next(line)) {
      endOfInput();
      break;
    }
    out_.logInput(line);
    if (firstCommand && line == "uci") {
      uciRequested_ = true;
      return 0;
    }
    firstCommand = firstCommand && line.empty();
    execute(line);
  }
  return 0;
}

void XboardFrontEnd::startUp() {
  engine_.prepare();
  setStartPosition();
  boardPrintPending_ = true;
}

void XboardFrontEnd::execute(std::string_view line) {
  if (!dispatch(line))
    out_.printf("# command \"%.*s\" returned an error code \n", int(line.size()), line.data());
  if (quitRequested_) return;
  afterCommand();
}

void XboardFrontEnd::endOfInput() {
  // A timed search still plays its move; an analysis would never end, so it is stopped, and so
  // is a ponder search after the move.
  if (analyzeMode_) engine_.stop();
  engine_.waitForMove();
  engine_.stopPondering();
  quitRequested_ = true;
}

void XboardFrontEnd::afterCommand() {
  // Without a valid position there is nothing to judge or to search until the next one.
  if (engine_.thinking() || !engine_.positionValid()) return;
  if (!gameOver_) gameOver_ = announceGameEnd();
  if (gameOver_) stopPlaying();
  const int side = engine_.sideToMove();
  const int played = engine_.movesPlayed();
  if (engineSide_ == side && played < GameRecord::Capacity &&
      !(analyzeMode_ && engine_.allExcluded()))
    engine_.go(gameLimits(played, side), analyzeMode_ ? SearchGoal::Analyse : SearchGoal::PlayMove);
}

void XboardFrontEnd::stopPlaying() {
  engineSide_ = NoColour;
  forceMode_ = true;
}

SearchLimits XboardFrontEnd::gameLimits(int gamePly, int side) const {
  const TimeControl& clock = engine_.clock();
  SearchLimits limits;
  // An analysis has no clock; a game has the session clock of "level", or a time per move.
  limits.infinite = analyzeMode_;
  limits.sessionClock = !analyzeMode_;
  limits.sessions = clock.sessions;
  limits.gamePly = gamePly;
  limits.moveTime = clock.moveTime;
  limits.time[side] = clock.reportedClock(gamePly);
  limits.depth = depthLimit_;
  return limits;
}

void XboardFrontEnd::printBoardNow() {
  out_.block(engine_.boardText("# ") + "#\n");
  boardPrintPending_ = false;
}

bool XboardFrontEnd::announceGameEnd() {
  const GameEnd end = engine_.gameEnd();
  if (end != GameEnd::None) out_.line(gameEndText(end));
  return end != GameEnd::None;
}

bool XboardFrontEnd::dispatch(std::string_view line) {
  if (line.empty()) return true;
  const Command* command = findCommand(line);
  const size_t space = line.find(' ');
  Args args;
  if (!command) {
    // Without "usermove" agreed (a GUI of the first protocol version), a move comes by itself.
    if (!isMoveText(line)) return true;
    command = &bareMoveCommand();
    args = {line};
  } else if (space == std::string_view::npos) {
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
  if (command->needsPosition && !engine_.positionValid()) {
    out_.printf("Error (no valid position): %.*s\n", int(line.size()), line.data());
    return false;
  }
  // The ponder search is the only search that runs while the user is to move.
  const bool ponders = command->onSearch == SearchEffect::StopsUnlessHit && engine_.pondering();
  const bool hit = ponders && !gameOver_ && args[0].size() >= 3 && engine_.isPonderReply(args[0]);
  if (ponders) out_.line(hit ? "# ponder hit" : "# ponder miss");
  if (command->onSearch == SearchEffect::Stops ||
      (command->onSearch == SearchEffect::StopsUnlessHit && !hit))
    engine_.stop();
  // Only the engine's own move is cut short; an analysis has no move to make.
  if (command->onSearch == SearchEffect::MovesNow && !analyzeMode_) engine_.moveNow();
  // "pong" may only follow everything asked before it: while the engine thinks on its own move,
  // that is after the move (an analysis has none, and a ponder search is not waited for, so it
  // answers at once).
  if (command->onSearch == SearchEffect::AwaitsMove && !analyzeMode_) engine_.waitForMove();
  const bool done = (this->*command->handler)(args);
  // The hit is signalled once the user's move is in the game, so that the engine's move, which
  // the hit may release at once, follows it. A hit whose move was refused stops the search.
  if (hit && done) engine_.ponderHit(gameLimits(engine_.movesPlayed(), engine_.sideToMove()));
  if (hit && !done) engine_.stop();
  if (command->onSearch == SearchEffect::StopsPonder) engine_.stopPondering();
  return done;
}

}  // namespace varnu
