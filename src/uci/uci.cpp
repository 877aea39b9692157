#include "uci/uci.h"

#include <algorithm>

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

UciEngine::UciEngine(Output& out, SearchPool& pool, TimeControl& timeControl, OpeningBook& book,
                     std::string_view name)
    : out_(out), pool_(pool), timeControl_(timeControl), book_(book), name_(name) {
  setFromFen(game_, StartFen);
}

UciEngine::~UciEngine() { pool_.abortSearch(); }

int UciEngine::run(LineReader& reader) {
  // The xboard start-up ends with its prompt, which has no line feed: the first answer would be
  // glued to it.
  out_.line("");
  out_.dropComments();
  uci();
  std::string line;
  while (!quitRequested_) {
    if (!reader.next(line)) {
      endOfInput();
      break;
    }
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
    // Outside a search, the end of the last one may still be remaking the table: the answer
    // waits for it, so that the next search finds the table ready.
    if (!searching()) pool_.waitIdle();
    out_.line("readyok");
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

void UciEngine::uci() {
  out_.line("id name " + name_);
  out_.line("id author the Varnu developers");
  out_.printf("option name Hash type spin default %u min 1 max %u\n", pool_.table().size(),
              MaxHashMegabytes);
  out_.printf("option name Threads type spin default %u min 1 max %u\n", pool_.requestedCores(),
              pool_.maxCores());
  out_.printf("option name MultiPV type spin default 1 min 1 max %d\n", MaxMultiPV);
  out_.printf("option name OwnBook type check default %s\n", bookUse_ ? "true" : "false");
  out_.line("option name BookFile type string default " + book_.path());
  out_.line("option name Clear Hash type button");
  out_.line("option name Ponder type check default false");
  out_.printf("option name Move Overhead type spin default %d min 0 max %d\n",
              10 * moveOverhead_, 10 * TimeControl::MaxMargin);
  out_.line("option name UCI_Chess960 type check default false");
  out_.line("uciok");
}

void UciEngine::ucinewgame() {
  finishSearch();
  pool_.table().clear();
  setFromFen(game_, StartFen);
  fullmoveNumber_ = 1;
}

void UciEngine::position(const Words& words) {
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
  // The new position is built aside, so a refused line leaves the previous one.
  Position next;
  if (!setFromFen(next, fen, chess960_)) {
    info("bad FEN: " + fen.substr(0, 200));
    return;
  }
  int played = 0;
  int fullmove = fullmoveField(fen);
  for (++i; i < words.size(); ++i) {
    const Move m = words[i].size() <= 5 ? parseUserMove(next, words[i], castlingNotation()) : NullMove;
    if (m == NullMove) {
      info("illegal move: " + std::string(words[i].substr(0, 20)));
      return;
    }
    if (++played > MaxGameMoves) {
      info("too many moves");
      return;
    }
    if (next.sideToMove == Black) ++fullmove;
    next.history[next.historyCount].movePlayed = m;
    UndoRecord undo;
    makeMove(next, m, undo);
  }
  finishSearch();
  game_ = next;
  fullmoveNumber_ = fullmove;
}

void UciEngine::go(const Words& words) {
  if (words.size() > 1 && words[1] == "perft") {
    perft(words);
    return;
  }
  finishSearch();
  GoCommand g = parseGo(words, game_, castlingNotation());
  notation_ = moveNotation(game_, castlingNotation());
  if (!g.ignored.empty()) info("go: ignored" + g.ignored);

  MoveList legal;
  generateMoves(game_, inCheck(game_), legal);

  SearchLimits limits;
  for (int side : {White, Black}) {
    if (g.time[side] >= 0) limits.time[side] = g.time[side] / 10;
    limits.increment[side] = g.increment[side] / 10;
  }
  limits.movesToGo = g.movesToGo;
  // A fixed time per move of at least a centisecond, since none at all would mean no limit.
  if (g.moveTime >= 0) limits.moveTime = std::max(g.moveTime / 10, 1);
  limits.moveOverhead = moveOverhead_;
  limits.depth = g.depth;
  limits.nodes = uint64_t(g.nodes);
  limits.mate = g.mate;
  limits.infinite = g.infinite;
  limits.ponder = g.ponder;
  limits.searchMoves = g.searchMoves;
  limits.multiPV = multiPV_;
  limits.moveWanted = true;
  // The book holds standard chess only.
  limits.bookAllowed = bookUse_ && !g.infinite && g.mate == 0 && g.searchMoves.count == 0 && !chess960_;
  limits.notation = notation_;

  std::lock_guard<std::mutex> lock(mutex_);
  goPending_ = true;
  infinite_ = g.infinite;
  pondering_ = g.ponder;
  resultReady_ = false;
  bounded_ = limits.timed(game_.sideToMove) || g.depth > 0 || g.nodes > 0;
  if (legal.count == 0) {
    // Checkmated or stalemated: nothing to search.
    out_.line(inCheck(game_) ? "info depth 0 score mate 0" : "info depth 0 score cp 0");
    result_ = NullMove;
    reply_ = NullMove;
    resultReady_ = true;
    if (!infinite_ && !pondering_) sendBestMove(NullMove, NullMove);
    return;
  }
  lastDepth_ = 0;
  limits_ = limits;
  if (g.ponder)
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
  after.history[after.historyCount].movePlayed = move;
  UndoRecord undo;
  makeMove(after, move, undo);
  const Move reply = pool_.expectedReply(after);
  std::lock_guard<std::mutex> lock(mutex_);
  if (!goPending_) return;
  if (infinite_ || pondering_) {
    result_ = move;
    reply_ = reply;
    resultReady_ = true;
    return;
  }
  sendBestMove(move, reply);
}

void UciEngine::sendBestMove(Move move, Move reply) {
  std::string text = "bestmove " + (move == NullMove ? std::string("0000") : moveToText(move, notation_));
  if (move != NullMove && reply != NullMove) text += " ponder " + moveToText(reply, notation_);
  out_.line(text);
  goPending_ = false;
  resultReady_ = false;
  infinite_ = false;
  pondering_ = false;
}

void UciEngine::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!goPending_) return;
    infinite_ = false;
    pondering_ = false;
    if (resultReady_) {
      sendBestMove(result_, reply_);
      return;
    }
  }
  // The master hands its best move so far to onSearchDone, which takes mutex_.
  pool_.moveNow();
  // Every "go" has its bestmove, whatever became of the search.
  std::lock_guard<std::mutex> lock(mutex_);
  if (goPending_) sendBestMove(resultReady_ ? result_ : NullMove, resultReady_ ? reply_ : NullMove);
}

// The search goes on under the clock of its "go" from now on; its bestmove follows when it ends.
void UciEngine::ponderhit() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!goPending_ || !pondering_) return;
    pondering_ = false;
    if (resultReady_ && !infinite_) {
      sendBestMove(result_, reply_);
      return;
    }
  }
  // After the flag: the move the hit may release at once must find it cleared.
  pool_.ponder().hit(limits_);
}

void UciEngine::finishSearch() {
  bool unbounded;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    unbounded = infinite_ || pondering_ || !bounded_;
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

void UciEngine::endOfInput() {
  finishSearch();
  quitRequested_ = true;
}

}  // namespace varnu
