#include "uci/uci.h"

#include <algorithm>
#include <cstring>

#include "board/fen.h"
#include "board/move.h"

namespace varnu {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

Words splitWords(std::string_view line) {
  Words words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && isBlank(line[i])) ++i;
    const size_t start = i;
    while (i < line.size() && !isBlank(line[i])) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

UciFrontEnd::UciFrontEnd(Engine& engine, Output& out, InputPoll* poll)
    : engine_(engine), out_(out), poll_(poll) {
  // Castling in Chess960 is the king taking its own rook; lines go on from the table.
  engine_.attach(*this, FrontEndStyle{CastlingNotation::KingTakesRook, true});
}

UciFrontEnd::~UciFrontEnd() { engine_.detach(*this); }

bool isUciCommand(std::string_view line) {
  static constexpr std::string_view uciOnly[] = {"uci",      "isready",   "setoption", "ucinewgame",
                                                 "position", "ponderhit", "debug",     "register"};
  const Words words = splitWords(line);
  return !words.empty() &&
         std::find(std::begin(uciOnly), std::end(uciOnly), words[0]) != std::end(uciOnly);
}

int UciFrontEnd::run(LineReader& reader, const std::vector<CommandLineItem>& commandLine,
                     bool handshakeRead) {
  // The cores first, so that the option list shows them; the warnings once "uci" is answered.
  warnings_ = engine_.applyCommandLine(commandLine);
  if (handshakeRead) uci();
  std::string line;
  while (!quitRequested_) {
    // Lines held while a search ran on this thread come first.
    if (!held_.empty()) {
      line = std::move(held_.front());
      held_.pop_front();
      if (held_.empty()) holding_ = false;
      out_.logInput(line);
      execute(line);
      continue;
    }
    if (!reader.next(line)) {
      endOfInput();
      break;
    }
    out_.logInput(line);
    if (reader.cut()) {
      reader.skipRestOfLine();
      info("line too long, ignored");
      continue;
    }
    execute(line);
  }
  return 0;
}

void UciFrontEnd::info(const std::string& text) { out_.line("info string " + text); }

void UciFrontEnd::execute(std::string_view line) {
  Words words = splitWords(line);
  if (words.empty()) return;
  // Unknown words before a command are skipped, as the protocol asks.
  static constexpr std::string_view commands[] = {
      "uci", "debug", "isready",   "setoption", "register", "ucinewgame", "position",
      "go",  "stop",  "ponderhit", "quit",      "eval",     "d"};
  size_t first = 0;
  for (; first < words.size(); ++first) {
    bool known = false;
    for (std::string_view c : commands) known = known || words[first] == c;
    if (known) break;
  }
  if (first == words.size()) {
    info("unknown command: " + std::string(line.substr(0, 200)));
    return;
  }
  words.erase(words.begin(), words.begin() + long(first));
  const std::string_view command = words[0];
  if (command == "uci") {
    uci();
  } else if (command == "isready") {
    isready();
  } else if (command == "setoption") {
    setoption(line, words);
  } else if (command == "ucinewgame") {
    ucinewgame();
  } else if (command == "position") {
    position(words);
  } else if (command == "go") {
    go(words);
  } else if (command == "stop") {
    stop();
  } else if (command == "ponderhit") {
    ponderhit();
  } else if (command == "quit") {
    quit();
  } else if (command == "eval") {
    eval(words);
  } else if (command == "d") {
    display();
  }
  // "debug" and "register" need nothing of this engine.
}

void UciFrontEnd::isready() {
  // Outside a search, the end of the last one may still be remaking the table: the answer
  // waits for it, and the first one waits for the table to be made, so that the next search
  // finds it ready.
  if (!searching()) {
    engine_.waitIdle();
    engine_.prepare();
  }
  out_.line("readyok");
}

void UciFrontEnd::ucinewgame() {
  engine_.finish();
  engine_.newGame();
}

void UciFrontEnd::position(const Words& words) {
  // The engine builds the new position aside; a refused line leaves no position at all, not the
  // one before, which the GUI no longer shows.
  engine_.finish();
  size_t i = 1;
  std::string fen;
  if (i < words.size() && words[i] == "startpos") {
    fen = StartFen;
    ++i;
  } else if (i < words.size() && words[i] == "fen") {
    for (++i; i < words.size() && words[i] != "moves"; ++i) {
      if (!fen.empty()) fen += ' ';
      fen += words[i];
    }
  } else {
    engine_.refusePosition();
    info("position needs startpos or fen");
    return;
  }
  if (i < words.size() && words[i] != "moves") {
    engine_.refusePosition();
    info("position: unexpected " + std::string(words[i].substr(0, 40)));
    return;
  }
  const std::vector<std::string_view> moves(words.begin() + long(std::min(i + 1, words.size())),
                                            words.end());
  const PositionResult result = engine_.setPosition(fen, moves);
  switch (result.kind) {
    case PositionResult::Kind::Done:
      break;
    case PositionResult::Kind::BadFen:
      info("bad FEN: " + fen.substr(0, 200));
      break;
    case PositionResult::Kind::IllegalMove:
      info("illegal move: " + std::string(moves[result.move].substr(0, 20)));
      break;
    case PositionResult::Kind::TooManyMoves:
      info("too many moves");
      break;
  }
}

void UciFrontEnd::go(const Words& words) {
  if (words.size() > 1 && words[1] == "perft") {
    perft(words);
    return;
  }
  engine_.finish();
  const RootState root = engine_.rootState();
  if (root == RootState::NoPosition) {
    info("no valid position to search");
    out_.line("bestmove 0000");
    return;
  }
  engine_.prepare();
  std::string ignored;
  goLimits_ = parseGo(
      words, [&](std::string_view text) { return engine_.parseMove(text); }, ignored);
  if (!ignored.empty()) info("go: ignored" + ignored);
  giveDefaultClock(goLimits_, engine_.sideToMove());
  // The lines that come during this search are taken afresh, and an end of input that has come
  // is told to it.
  holding_ = false;
  endTold_ = false;
  // Checkmated or stalemated: nothing to search, and bestmove 0000 follows (for an infinite or
  // ponder search, once it is stopped or hit).
  if (root == RootState::Checkmated) out_.line("info depth 0 score mate 0");
  if (root == RootState::Stalemated) out_.line("info depth 0 score cp 0");
  lastDepth_ = 0;
  // Without threads the search runs within this call.
  engine_.go(goLimits_, SearchGoal::ReportMove);
}

void UciFrontEnd::stop() {
  // The engine's best move so far goes out as bestmove before the call returns (or, without
  // threads, as the search below it ends).
  if (searching()) engine_.moveNow();
}

// The search goes on under the clock of its "go" from now on; its bestmove follows when it ends.
void UciFrontEnd::ponderhit() {
  if (searching()) engine_.ponderHit(goLimits_);
}

void UciFrontEnd::quit() {
  stop();
  quitRequested_ = true;
}

void UciFrontEnd::endOfInput() {
  engine_.finish();
  quitRequested_ = true;
}

void UciFrontEnd::onSearchPause(bool waiting) {
  if (!poll_) return;
  std::string line;
  while (poll_->take(line, waiting)) {
    takeDuringSearch(line);
    waiting = false;
  }
  if (poll_->ended() && !endTold_) {
    // The end of input ends a search that would otherwise never end; one with an end of its own
    // is awaited as the loop ends.
    endTold_ = true;
    if (engine_.waitsForStop()) engine_.moveNow();
  }
}

void UciFrontEnd::takeDuringSearch(const std::string& line) {
  const Words words = splitWords(line);
  const std::string_view command = words.empty() ? std::string_view() : words[0];
  const bool perft = command == "go" && words.size() > 1 && words[1] == "perft";
  const bool ends = command == "stop" || command == "quit";
  // These wait for the end of a search that has one, and end one that has not.
  const bool waits =
      (command == "position" || command == "go" || command == "ucinewgame") && !perft;
  // The developer commands wait for a search that ends by itself, and are refused during one
  // that does not; every other command runs beside the search.
  const bool developer = perft || command == "d" || command == "eval";
  const bool runsNow = !waits && !(developer && !engine_.waitsForStop());
  if (held_.empty() && !holding_ && runsNow) {
    out_.logInput(line);
    execute(line);
    holding_ = ends;
    return;
  }
  // As with threads, a command that waits for the search's end holds back all after it.
  if (!holding_ && ends) engine_.moveNow();
  if (!holding_ && waits && engine_.waitsForStop()) engine_.moveNow();
  holding_ = holding_ || ends || waits;
  held_.push_back(line);
}

}  // namespace varnu
