#include "uci/uci.h"

#include <algorithm>
#include <cstring>

#include "board/fen.h"
#include "board/make_move.h"
#include "board/move.h"
#include "board/movegen.h"
#include "board/number.h"

namespace varnu {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The move number of FEN text: its sixth field, 1 when it has none or a bad one.
int fullmoveField(std::string_view fen) {
  const Words fields = splitWords(fen);
  return fields.size() >= 6 ? std::max(parseNumber(fields[5]), 1) : 1;
}

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

UciEngine::UciEngine(Session& session)
    : session_(session), out_(session.out), pool_(session.pool), options_(session.options) {
  session_.frontEnd = this;
  setFromFen(game_, StartFen);
}

UciEngine::~UciEngine() {
  pool_.abortSearch();
  if (session_.frontEnd == this) session_.frontEnd = nullptr;
}

void UciEngine::onNote(const Note& note) {
  if (const auto* book = std::get_if<BookFailureNote>(&note))
    info(std::string("cannot read the book: ") + std::strerror(book->errorCode));
}

int UciEngine::run(LineReader& reader, const std::vector<CommandLineItem>& commandLine) {
  for (const CommandLineItem& item : commandLine)
    if (item.cores > 0) pool_.setCores(item.cores);
  uci();
  for (const CommandLineItem& item : commandLine)
    if (item.cores == 0) info(item.warning);
  std::string line;
  while (!quitRequested_) {
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

void UciEngine::info(const std::string& text) { out_.line("info string " + text); }

void UciEngine::execute(std::string_view line) {
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
    eval();
  } else if (command == "d") {
    display();
  }
  // "debug" and "register" need nothing of this engine.
}

void UciEngine::isready() {
  // Outside a search, the end of the last one may still be remaking the table: the answer
  // waits for it, and the first one waits for the table to be made, so that the next search
  // finds it ready.
  if (!searching()) {
    pool_.waitIdle();
    ensureTable();
  }
  out_.line("readyok");
}

void UciEngine::ensureTable() {
  if (const uint32_t refused = pool_.table().ensure()) onTableRefused(refused);
}

void UciEngine::ucinewgame() {
  finishSearch();
  session_.newGameSeed();
  pool_.table().clear();
  setFromFen(game_, StartFen);
  fullmoveNumber_ = 1;
  positionValid_ = true;
}

CastlingNotation UciEngine::castlingNotation() const {
  // UCI_Chess960: castling is written and read as the king taking its own rook, and the FEN's
  // castling rights may name any rook.
  return options_.flag(Setting::Chess960) ? CastlingNotation::KingTakesRook
                                          : CastlingNotation::KingTarget;
}

void UciEngine::position(const Words& words) {
  // The new position is built aside; a refused line leaves no position at all, not the one
  // before, which the GUI no longer shows.
  finishSearch();
  positionValid_ = false;
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
    info("position needs startpos or fen");
    return;
  }
  if (i < words.size() && words[i] != "moves") {
    info("position: unexpected " + std::string(words[i].substr(0, 40)));
    return;
  }
  Position next;
  if (!setFromFen(next, fen, options_.flag(Setting::Chess960))) {
    info("bad FEN: " + fen.substr(0, 200));
    return;
  }
  int played = 0;
  int fullmove = fullmoveField(fen);
  for (++i; i < words.size(); ++i) {
    const Move m =
        words[i].size() <= 5 ? parseUserMove(next, words[i], castlingNotation()) : NullMove;
    if (m == NullMove) {
      info("illegal move: " + std::string(words[i].substr(0, 20)));
      return;
    }
    if (++played > MaxGameMoves) {
      info("too many moves");
      return;
    }
    if (next.sideToMove == Black) ++fullmove;
    UndoRecord undo;
    makeMove(next, m, undo);
  }
  game_ = next;
  fullmoveNumber_ = fullmove;
  positionValid_ = true;
}

void UciEngine::go(const Words& words) {
  if (words.size() > 1 && words[1] == "perft") {
    perft(words);
    return;
  }
  finishSearch();
  if (!positionValid_) {
    info("no valid position to search");
    std::lock_guard<std::mutex> lock(mutex_);
    sendBestMove(NullMove, NullMove);
    return;
  }
  ensureTable();
  std::string ignored;
  SearchLimits limits = parseGo(words, game_, castlingNotation(), ignored);
  if (!ignored.empty()) info("go: ignored" + ignored);
  notation_ = moveNotation(game_, castlingNotation());
  options_.fillLimits(limits);
  limits.moveWanted = true;
  // The book holds standard chess only, and knows nothing of the limits below.
  limits.bookAllowed = options_.flag(Setting::OwnBook) && !options_.flag(Setting::Chess960) &&
                       !limits.infinite && limits.mate == 0 && limits.searchMoves.count == 0;
  limits.notation = notation_;

  std::unique_lock<std::mutex> lock(mutex_);
  goPending_ = true;
  resultReady_ = false;
  stopCame_ = false;
  awaitingSearchEnd_ = false;
  limits_ = limits;
  if (countMoves(game_, inCheck(game_)) == 0) {
    // Checkmated or stalemated: nothing to search.
    out_.line(inCheck(game_) ? "info depth 0 score mate 0" : "info depth 0 score cp 0");
    if (limits.infinite || limits.ponder)
      resultReady_ = true;
    else
      sendBestMove(NullMove, NullMove);
    return;
  }
  lastDepth_ = 0;
  // The search reports under the lock; without threads it runs within the calls below.
  lock.unlock();
  if (limits.ponder)
    pool_.ponder().start(game_, limits, this);
  else
    pool_.startSearch(game_, limits, this);
}

void UciEngine::onTableRefused(uint32_t megabytes) {
  info("cannot allocate " + std::to_string(megabytes) + " MB for the hash table, keeping " +
       std::to_string(pool_.table().table().megabytes()) + " MB");
}

void UciEngine::onSearchDone(Move move) {
  // The reply is looked up before the lock: the position does not change while a "go" runs.
  Position after = game_;
  UndoRecord undo;
  makeMove(after, move, undo);
  const Move reply = pool_.expectedReply(after);
  std::lock_guard<std::mutex> lock(mutex_);
  if (!goPending_) return;
  // An infinite search's bestmove waits for "stop" (a ponder search's waits in the pool).
  if (limits_.infinite && !stopCame_) {
    result_ = move;
    reply_ = reply;
    resultReady_ = true;
    return;
  }
  sendBestMove(move, reply);
}

void UciEngine::sendBestMove(Move move, Move reply) {
  std::string text =
      "bestmove " + (move == NullMove ? std::string("0000") : moveToText(move, notation_));
  if (move != NullMove && reply != NullMove) text += " ponder " + moveToText(reply, notation_);
  out_.line(text);
  goPending_ = false;
  resultReady_ = false;
}

void UciEngine::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!goPending_) return;
    if (resultReady_) {
      sendBestMove(result_, reply_);
      return;
    }
  }
  // The master hands its best move so far to onSearchDone, which takes mutex_ and sends it.
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopCame_ = true;
  }
  pool_.moveNow();
  // Without threads the search is still on its way out, below this call: its bestmove goes out
  // as it ends.
  if (!SearchPool::workerThreads()) return;
  // Every "go" has its bestmove, whatever became of the search.
  std::lock_guard<std::mutex> lock(mutex_);
  if (goPending_) sendBestMove(resultReady_ ? result_ : NullMove, resultReady_ ? reply_ : NullMove);
}

// The search goes on under the clock of its "go" from now on; its bestmove follows when it ends.
void UciEngine::ponderhit() {
  SearchLimits limits;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!goPending_) return;
    // A mated or stalemated position pondered on has its answer ready.
    if (resultReady_ && !limits_.infinite) {
      sendBestMove(result_, reply_);
      return;
    }
    limits = limits_;
  }
  pool_.ponder().hit(limits);
}

bool UciEngine::waitsForStop() const {
  return limits_.infinite || pool_.ponder().active() || resultReady_ ||
         !(limits_.timed(game_.sideToMove) || limits_.depth > 0 || limits_.nodes > 0);
}

void UciEngine::finishSearch() {
  bool unbounded;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    unbounded = goPending_ && waitsForStop();
  }
  if (unbounded) stop();
  pool_.waitIdle();
  // Every "go" has its bestmove, whatever became of the search.
  std::lock_guard<std::mutex> lock(mutex_);
  if (goPending_) sendBestMove(resultReady_ ? result_ : NullMove, resultReady_ ? reply_ : NullMove);
}

bool UciEngine::searching() {
  std::lock_guard<std::mutex> lock(mutex_);
  return goPending_;
}

void UciEngine::quit() {
  stop();
  quitRequested_ = true;
}

bool UciEngine::executeWhileSearching(std::string_view line, bool inTurn) {
  const Words words = splitWords(line);
  const std::string_view command = words.empty() ? std::string_view() : words[0];
  const bool ends = command == "stop" || command == "quit";
  const bool waits = command == "position" || command == "go" || command == "ucinewgame";
  if (inTurn && !awaitingSearchEnd_ && (ends || command == "ponderhit" || command == "isready")) {
    out_.logInput(line);
    execute(line);
    awaitingSearchEnd_ = ends;
    return true;
  }
  // With threads, a command that waits for the search's end holds back all after it.
  if (!awaitingSearchEnd_ && ends) pool_.moveNow();
  if (!awaitingSearchEnd_ && waits) endUnboundedSearch();
  awaitingSearchEnd_ = awaitingSearchEnd_ || ends || waits;
  return false;
}

void UciEngine::endUnboundedSearch() {
  bool unbounded;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    unbounded = goPending_ && waitsForStop();
  }
  if (unbounded) pool_.moveNow();
}

void UciEngine::endOfInput() {
  finishSearch();
  quitRequested_ = true;
}

}  // namespace varnu
