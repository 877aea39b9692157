#include "engine/engine.h"

#include <cstring>

#include "board/fen.h"
#include "board/game_end.h"
#include "board/make_move.h"
#include "board/move.h"
#include "board/movegen.h"

namespace varnu {

Engine::Engine(Session& session)
    : out_(session.out),
      clock_(session.clock),
      pool_(session.pool),
      options_(session.options),
      tablebases_(session.tablebases),
      session_(session) {
  session_.frontEnd = this;
  setStartPosition();
}

// The search must end before the game it plays into goes away.
Engine::~Engine() {
  pool_.abortSearch();
  if (session_.frontEnd == this) session_.frontEnd = nullptr;
}

void Engine::printBanner() {
  out_.block("# " + std::string(EngineName) + "\n# a chess engine for xboard/CECP front ends, by " +
             std::string(EngineAuthor) + "\n# \nfeature done=0\n");
}

void Engine::applyCommandLine(const std::vector<CommandLineItem>& items) {
  for (const CommandLineItem& item : items) {
    if (item.cores > 0)
      pool_.setCores(item.cores);
    else
      out_.line("# " + item.warning);
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

void Engine::startUp() {
  pool_.table().ensure();
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
  // A timed search still plays its move; an analysis would never end, so it is stopped, and so
  // is a ponder search after the move.
  if (analyzeMode_) pool_.abortSearch();
  pool_.waitForMove();
  pool_.ponder().miss();
  quitRequested_ = true;
}

void Engine::afterCommand() {
  // Without a valid position there is nothing to judge or to search until the next one.
  if (pool_.anyBusy() || !positionValid_) return;
  if (!gameOver_) gameOver_ = announceGameEnd();
  if (gameOver_) {
    engineSide_ = NoColour;
    forceMode_ = true;
  }
  if (engineSide_ == game_.position.sideToMove && game_.count < GameRecord::Capacity &&
      !(analyzeMode_ && allExcluded()))
    pool_.startSearch(game_.position, gameLimits(game_.count, game_.position.sideToMove), this);
}

SearchLimits Engine::gameLimits(int gamePly, int side) const {
  SearchLimits limits;
  // An analysis has no clock; a game has the session clock of "level", or a time per move.
  limits.infinite = analyzeMode_;
  limits.sessionClock = !analyzeMode_;
  limits.sessions = clock_.sessions;
  limits.gamePly = gamePly;
  limits.moveTime = clock_.moveTime;
  limits.time[side] = clock_.reportedClock(gamePly);
  options_.fillLimits(limits);
  limits.depth = depthLimit_;
  limits.excluded = game_.excluded;
  // The book holds standard chess only, and knows nothing of the exclusions.
  limits.bookAllowed = options_.flag(Setting::OwnBook) && !chess960_ && game_.excluded.count == 0;
  limits.notation = notation_;
  return limits;
}

bool Engine::allExcluded() {
  if (game_.excluded.count == 0) return false;
  MoveList legal;
  generateMoves(game_.position, inCheck(game_.position), legal);
  for (uint32_t i = 0; i < legal.count; ++i) {
    bool excluded = false;
    for (uint32_t j = 0; j < game_.excluded.count; ++j)
      excluded = excluded || sameMove(legal.entries[i].move, game_.excluded.entries[j].move);
    if (!excluded) return false;
  }
  return true;
}

void Engine::printBoardNow() {
  out_.block(boardText(game_.position, "# ") + "#\n");
  boardPrintPending_ = false;
}

bool Engine::announceGameEnd() {
  const GameEnd end = gameEnd(game_.position);
  if (end != GameEnd::None) out_.line(gameEndText(end));
  return end != GameEnd::None;
}

PerftHashTable& Engine::perftTable() {
  if (!perftTable_) {
    onNote(PerftTableNote{PerftHashMegabytes});
    perftTable_ = std::make_unique<PerftHashTable>(PerftHashMegabytes);
  }
  return *perftTable_;
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
  if (!gameOver_) gameOver_ = announceGameEnd();
  if (gameOver_) {
    engineSide_ = NoColour;
    forceMode_ = true;
  }
  expectReply();
}

void Engine::expectReply() {
  expectedReply_ = pool_.expectedReply(game_.position);
  expectedAtKey_ = game_.position.key();
  ponderMove_ = NullMove;
  if (!options_.flag(Setting::Ponder) || expectedReply_ == NullMove || gameOver_ || forceMode_ ||
      analyzeMode_ || engineSide_ == NoColour || recordFull())
    return;
  Position pos = game_.position;
  UndoRecord undo;
  makeMove(pos, expectedReply_, undo);
  // A reply that ends the game leaves nothing to ponder on.
  if (countMoves(pos, inCheck(pos)) == 0 || checkDraw(pos).code == MaterialDraw) return;
  SearchLimits limits = gameLimits(game_.count + 1, pos.sideToMove);
  // The exclusions belong to the position before the reply.
  limits.excluded.count = 0;
  limits.bookAllowed = options_.flag(Setting::OwnBook) && !chess960_;
  limits.moveWanted = true;
  ponderMove_ = expectedReply_;
  // Thinking lines while pondering leave the assumed reply out, so it is announced first.
  if (postThinking_) out_.line("Hint: " + moveToText(ponderMove_, notation_));
  pool_.ponder().start(pos, limits, this);
}

bool Engine::isPonderHit(std::string_view text) {
  std::lock_guard<std::mutex> lock(gameMutex_);
  if (ponderMove_ == NullMove || gameOver_ || text.size() < 3 || text.size() > 5) return false;
  const Move m = parseUserMove(game_.position, text, notation_.castling);
  return m != NullMove && sameMove(m, ponderMove_) && !recordFull();
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
  if (command->needsPosition && !positionValid_) {
    out_.printf("Error (no valid position): %.*s\n", int(line.size()), line.data());
    return false;
  }
  // The ponder search is the only search that runs while the user is to move.
  const bool ponders = command->onSearch == SearchEffect::StopsUnlessHit && pool_.ponder().active();
  const bool hit = ponders && isPonderHit(args[0]);
  if (ponders) out_.line(hit ? "# ponder hit" : "# ponder miss");
  if (command->onSearch == SearchEffect::Stops ||
      (command->onSearch == SearchEffect::StopsUnlessHit && !hit))
    pool_.abortSearch();
  // Only the engine's own move is cut short; an analysis has no move to make.
  if (command->onSearch == SearchEffect::MovesNow && !analyzeMode_) pool_.moveNow();
  // "pong" may only follow everything asked before it: while the engine thinks on its own move,
  // that is after the move (an analysis has none, and a ponder search is not waited for, so it
  // answers at once).
  if (command->onSearch == SearchEffect::AwaitsMove && !analyzeMode_) pool_.waitForMove();
  bool done;
  {
    std::lock_guard<std::mutex> lock(gameMutex_);
    done = (this->*command->handler)(args);
  }
  // The hit is signalled once the user's move is in the game, so that the engine's move, which
  // the hit may release at once, follows it. A hit whose move was refused stops the search.
  if (hit && done) {
    SearchLimits limits;
    {
      std::lock_guard<std::mutex> lock(gameMutex_);
      limits = gameLimits(game_.count, game_.position.sideToMove);
    }
    pool_.ponder().hit(limits);
  }
  if (hit && !done) pool_.abortSearch();
  if (command->onSearch == SearchEffect::StopsPonder) pool_.ponder().miss();
  return done;
}

}  // namespace varnu
