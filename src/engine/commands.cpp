// The protocol handlers. Each receives its arguments (their number already checked, and the
// search already stopped when its command-table row says so) and returns whether it succeeded.
// They run under the game lock.
#include <algorithm>
#include <cinttypes>
#include <climits>
#include <string>

#include "board/fen.h"
#include "board/move.h"
#include "board/movegen.h"
#include "board/number.h"
#include "engine/engine.h"
#include "eval/evaluate.h"

namespace varnu {

namespace {

int32_t saturate(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// The arguments as they stood in the line, joined by the single spaces that separated them.
std::string joinArgs(const Args& args) {
  std::string text;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i) text += ' ';
    text += args[i];
  }
  return text;
}

}  // namespace

bool Engine::quit(const Args&) {
  quitRequested_ = true;
  return true;
}

bool Engine::xboard(const Args&) {
  out_.line("");
  xboardMode_ = true;
  return true;
}

bool Engine::protover(const Args&) {
  out_.block(
      "feature ping=1\nfeature setboard=1\nfeature playother=1\nfeature usermove=1\n"
      "feature colors=0\nfeature sigint=0\nfeature sigterm=0\nfeature analyze=1\n"
      "feature name=0\nfeature nps=0\nfeature debug=1\nfeature smp=1\nfeature memory=1\n"
      "feature egt=\"syzygy\"\nfeature variants=\"normal,fischerandom\"\n");
  for (const OptionRow& row : Options::rows()) {
    if (row.xboardName.empty()) continue;
    // xboard shows a check option's value as 1 or 0.
    const std::string value = row.type == OptionType::Check
                                  ? std::to_string(options_.number(row.setting))
                                  : options_.valueText(row);
    std::string text = "feature option=\"" + std::string(row.xboardName) + " " +
                       std::string(row.xboardType) + " " + value;
    if (row.type == OptionType::Spin)
      text += " " + std::to_string(row.min) + " " +
              std::to_string(options_.maximum(row, Protocol::Xboard));
    out_.line(text + "\"");
  }
  out_.line("feature exclude=1");
  out_.printf("feature myname=\"%s\"\n", std::string(EngineName).c_str());
  // protover does not stop a search: a running search keeps its workers, and a change of the
  // core count takes effect when the next search starts.
  pool_.table().ensure();
  if (!pool_.anyBusy()) pool_.rebuildWorkers(false);
  out_.line("feature done=1");
  return true;
}

bool Engine::newGame(const Args&) {
  session_.newGameSeed();
  pool_.table().recreate();
  pool_.rebuildWorkers(true);
  chess960_ = false;
  setStartPosition();
  positionValid_ = true;
  gameOver_ = false;
  forceMode_ = false;
  boardPrintPending_ = true;
  clock_.resetForNewGame();
  depthLimit_ = 0;
  if (analyzeMode_) {
    engineSide_ = game_.position.sideToMove;
  } else {
    engineSide_ = game_.position.sideToMove ^ 1;
  }
  printBoardNow();
  return true;
}

bool Engine::force(const Args&) {
  clock_.stopwatch.stop();
  engineSide_ = NoColour;
  forceMode_ = true;
  return true;
}

bool Engine::ping(const Args& args) {
  out_.printf("pong %d\n", parseNumber(args[0]));
  return true;
}

bool Engine::usermove(const Args& args) {
  const std::string_view text = args[0];
  if (gameOver_) {
    out_.line("Error (cannot make a move at end of game)");
    return false;
  }
  const bool castles = chess960_ && (text == "O-O" || text == "O-O-O");
  if (!castles && (text.size() < 4 || text.size() > 5)) {
    out_.printf("Error (illegal argument to 'usermove' command): %.*s\n", int(text.size()),
                text.data());
    return false;
  }
  const Move m = parseUserMove(game_.position, text, notation_.castling);
  if (m == NullMove) {
    out_.printf("Error (illegal move): %.*s\n", int(text.size()), text.data());
    return false;
  }
  if (recordFull()) {
    out_.printf("Error (too many moves in this game): %.*s\n", int(text.size()), text.data());
    return false;
  }
  out_.printf("# making user move: %.*s\n", int(text.size()), text.data());
  game_.appendAndMake(m);
  if (!forceMode_ || analyzeMode_) engineSide_ = game_.position.sideToMove;
  printBoardNow();
  return true;
}

bool Engine::go(const Args&) {
  if (gameOver_) {
    out_.line("Error (cannot make a move at end of game)");
    return false;
  }
  if (game_.count >= GameRecord::Capacity) {
    out_.line("Error (too many moves in this game)");
    return false;
  }
  forceMode_ = false;
  if (analyzeMode_) leaveAnalysis();
  engineSide_ = game_.position.sideToMove;
  return true;
}

bool Engine::playother(const Args&) {
  forceMode_ = false;
  if (analyzeMode_) leaveAnalysis();
  engineSide_ = game_.position.sideToMove ^ 1;
  return true;
}

bool Engine::setboard(const Args& args) {
  const std::string fen = joinArgs(args);
  // A refused text sets nothing: until the next position the engine has none to play or analyse,
  // rather than the one before, which the GUI no longer shows.
  Position scratch = game_.position;
  if (!setFromFen(scratch, fen, chess960_)) {
    out_.line("tellusererror Illegal position");
    positionValid_ = false;
    return false;
  }
  game_.position = scratch;
  game_.empty();
  updateNotation();
  positionValid_ = true;
  boardPrintPending_ = true;
  gameOver_ = false;
  if (analyzeMode_) {
    engineSide_ = game_.position.sideToMove;
  } else {
    engineSide_ = NoColour;
    forceMode_ = true;
  }
  return true;
}

// "variant fischerandom" makes the game Chess960 until the next "new"; "variant normal" makes
// it standard chess again. Either starts from the start position, as after "new", until xboard
// sends the game's own with "setboard".
bool Engine::variant(const Args& args) {
  if (args[0] != "normal" && args[0] != "fischerandom") {
    out_.printf("Error (unsupported variant): %.*s\n", int(args[0].size()), args[0].data());
    return false;
  }
  chess960_ = args[0] == "fischerandom";
  setStartPosition();
  positionValid_ = true;
  boardPrintPending_ = true;
  return true;
}

bool Engine::level(const Args& args) {
  const Args pieces = split(args[1], ':');
  if (pieces.size() > 2) return false;
  int64_t seconds = 60 * int64_t(parseNumber(pieces[0]));
  if (pieces.size() == 2) seconds += parseNumber(pieces[1]);
  clock_.setSessions(uint32_t(parseNumber(args[0])), saturate(100 * seconds),
                     saturate(100 * int64_t(parseNumber(args[2]))));
  return true;
}

bool Engine::sd(const Args& args) {
  const int32_t depth = parseNumber(args[0]);
  if (depth < 0) return false;
  depthLimit_ = depth;
  return true;
}

bool Engine::time(const Args& args) {
  clock_.setRemaining(parseNumber(args[0]), game_.count);
  return true;
}

// Seconds with an optional fraction ("st 0.5"), as clients send them; less than a centisecond is
// refused.
bool Engine::st(const Args& args) {
  const int32_t centiseconds = parseScaled(args[0], 2);
  if (centiseconds < 1) {
    out_.printf("Error (illegal argument to 'st' command): %.*s\n", int(args[0].size()),
                args[0].data());
    return false;
  }
  clock_.setMoveTime(centiseconds);
  return true;
}

// "?" ends the engine's own search before this handler runs (see the command table); there is
// nothing left to do here, and at any other time the command does nothing.
bool Engine::moveNow(const Args&) { return true; }

bool Engine::undo(const Args&) { return takeBack(1); }

bool Engine::remove(const Args&) { return takeBack(2); }

bool Engine::takeBack(int moves) {
  if (!game_.takeBack(moves)) return false;
  boardPrintPending_ = true;
  gameOver_ = false;
  if (analyzeMode_) engineSide_ = game_.position.sideToMove;
  return true;
}

bool Engine::analyze(const Args&) {
  if (analyzeMode_) return true;
  analyzeMode_ = true;
  engineSide_ = game_.position.sideToMove;
  depthLimit_ = 0;
  return true;
}

bool Engine::exit(const Args&) {
  if (!analyzeMode_) return false;
  leaveAnalysis();
  engineSide_ = NoColour;
  return true;
}

void Engine::leaveAnalysis() {
  analyzeMode_ = false;
  depthLimit_ = 0;
}

bool Engine::post(const Args&) {
  postThinking_ = true;
  return true;
}

bool Engine::nopost(const Args&) {
  postThinking_ = false;
  return true;
}

bool Engine::cores(const Args& args) {
  const int32_t n = parseNumber(args[0]);
  if (n < 1) return false;
  pool_.setCores(n);
  return true;
}

// "egtpath syzygy <folders>": where the Syzygy endgame tables are (xboard sends it for the kind
// "feature egt" announced). The folders are the rest of the line, so a path may hold spaces; the
// tables found are reported in comment lines.
bool Engine::egtpath(const Args& args) {
  if (args[0] != "syzygy") {
    out_.printf("Error (unsupported tablebase kind): %.*s\n",
                int(std::min<size_t>(args[0].size(), 100)), args[0].data());
    return false;
  }
  const std::string folders = joinArgs(Args(args.begin() + 1, args.end()));
  if (options_.set(Setting::SyzygyPath, folders, Protocol::Xboard) != Options::Result::Done) {
    out_.line("Error (path too long): egtpath");
    return false;
  }
  onNote(TablebaseScanNote{tablebases_.lastScan()});
  return true;
}

// "memory N": the megabytes the GUI grants the engine, which go to the hash table, as if its
// option were set. It is read as UCI reads the setting, strictly and over its whole range: the
// option's narrower range is only what its feature line has always announced.
bool Engine::memory(const Args& args) {
  OptionValue megabytes;
  if (!options_.read(Setting::Hash, args[0], Protocol::Uci, megabytes)) {
    out_.printf("Error (illegal argument to 'memory' command): %.*s\n", int(args[0].size()),
                args[0].data());
    return false;
  }
  // xboard repeats it before every game, whose "new" empties the table anyway.
  if (megabytes.number != options_.number(Setting::Hash)) options_.apply(Setting::Hash, megabytes);
  return true;
}

bool Engine::option(const Args& args) {
  // name=value; the value is everything after the first '=', so a path may contain '=', and the
  // rest of the line, so it may contain spaces ("C:\Program Files\...").
  const std::string joined = joinArgs(args);
  const std::string_view text = joined;
  const size_t equals = text.find('=');
  const std::string name(text.substr(0, equals));
  const bool hasValue = equals != std::string_view::npos;
  const std::string value(hasValue ? text.substr(equals + 1) : std::string_view());
  const OptionRow* row = Options::findXboard(name);
  if (!row) {
    out_.printf("Error (unknown option name): %s\n", name.c_str());
    return false;
  }
  OptionValue read;
  if (!hasValue || !options_.read(row->setting, value, Protocol::Xboard, read)) {
    out_.printf("Error (illegal value for '%s' option): %s\n", name.c_str(), value.c_str());
    return false;
  }
  const bool numeric = row->type == OptionType::Spin || row->type == OptionType::Check;
  const std::string shown = numeric ? std::to_string(read.number) : read.text;
  out_.printf("# setting option: %s=%s\n", name.c_str(), shown.c_str());
  const int32_t before = options_.number(row->setting);
  // A table size that cannot be had is reported by the table itself, and the old one stays.
  if (!options_.apply(row->setting, read) && row->setting != Setting::Hash) {
    out_.printf("Error (cannot open file): %s\n", value.c_str());
    return false;
  }
  // A running analysis starts again with the new setting; it plays no move, so it can be
  // stopped under the game lock.
  if (row->restartsAnalysis && analyzeMode_ && options_.number(row->setting) != before)
    pool_.abortSearch();
  return true;
}

// "book" and "nobook" turn the opening book's use on and off.
bool Engine::book(const Args&) {
  options_.set(Setting::OwnBook, "true", Protocol::Xboard);
  return true;
}

bool Engine::nobook(const Args&) {
  options_.set(Setting::OwnBook, "false", Protocol::Xboard);
  return true;
}

bool Engine::perft(const Args& args) {
  return count(args[0], false);
}

bool Engine::divide(const Args& args) {
  return count(args[0], true);
}

// perft and divide: the totals after "# " for perft, with divide's count of each root move
// before them; the table's filling is a comment either way.
bool Engine::count(std::string_view depthText, bool divide) {
  const int32_t depth = parseNumber(depthText);
  if (depth < 1 || depth > maxPerftDepth(game_.position)) return false;
  Stopwatch& watch = clock_.stopwatch;
  watch.reset();
  watch.markAndStart();
  PerftHashTable& table = perftTable();
  // Chess960 castling is written as the king taking its rook, which no other move can be.
  const MoveNotation notation =
      moveNotation(game_.position, game_.position.castling.standard ? CastlingNotation::KingTarget
                                                                     : CastlingNotation::KingTakesRook);
  const RootMoveCount each = [&](Move m, uint64_t n) {
    out_.line(moveToText(m, notation) + " " + std::to_string(n));
  };
  PerftTotals totals = countLeaves(game_.position, table, depth, divide ? &each : nullptr);
  watch.stop();
  totals.time = watch.sinceMark();
  out_.block(perftTotalsText(totals, divide ? "" : "# "));
  out_.printf("# ptHashFull%%:  %g\n", totals.fillPercent);
  return true;
}

bool Engine::selftest(const Args&) {
  PerftHashTable& table = perftTable();
  const SelfTestTotals totals = runSelfTest(game_.position, table, [&](const SelfTestResult& r) {
    if (!r.fenRead)
      out_.printf("# Self-test no. %d FAILED  (illegal FEN)\n", r.number);
    else if (r.passed())
      out_.printf("# Self-test no. %d passed: n=%" PRIu64 ", t=%d, lps=%" PRIu64 ", nps=%" PRIu64
                  "\n",
                  r.number, r.leaves, r.time, perSecond(r.leaves, r.time), perSecond(r.nodes, r.time));
    else
      out_.printf("# Self-test no. %d FAILED  (expected %" PRIu64 ", got %" PRIu64 ")\n",
                  r.number, r.expected, r.leaves);
  });
  out_.printf("%d tests passed, %d tests failed, 0 tests skipped, total %d tests run:\n",
              totals.passed, totals.failed, totals.passed + totals.failed);
  out_.printf("n=%" PRIu64 ", t=%d, lps=%" PRIu64 ", nps=%" PRIu64 "\n", totals.nodes,
              totals.time, perSecond(totals.leaves, totals.time), perSecond(totals.nodes, totals.time));
  return newGame(Args{});
}

bool Engine::eval(const Args&) {
  out_.block(evalTable(game_.position));
  return true;
}

// Pondering starts after the engine's next move.
bool Engine::hard(const Args&) {
  options_.set(Setting::Ponder, "true", Protocol::Xboard);
  return true;
}

// The command table stops a ponder search once this has run, so that none follows.
bool Engine::easy(const Args&) {
  options_.set(Setting::Ponder, "false", Protocol::Xboard);
  return true;
}

bool Engine::hint(const Args&) {
  if (expectedReply_ != NullMove && expectedAtKey_ == game_.position.key())
    out_.line("Hint: " + moveToText(expectedReply_, notation_));
  return true;
}

bool Engine::exclude(const Args& args) { return changeExclusion(args[0], true); }

bool Engine::include(const Args& args) { return changeExclusion(args[0], false); }

bool Engine::changeExclusion(std::string_view text, bool exclude) {
  // A search may be reading the game position, so the moves are found on a copy.
  Position scratch = game_.position;
  MoveList next = game_.excluded;
  if (text == "all") {
    next.count = 0;
    if (exclude) generateMoves(scratch, inCheck(scratch), next);
  } else {
    const Move m = text.size() >= 3 && text.size() <= 5
                       ? parseUserMove(scratch, text, notation_.castling)
                       : NullMove;
    if (m == NullMove) {
      out_.printf("Error (illegal move): %.*s\n", int(text.size()), text.data());
      return false;
    }
    uint32_t at = 0;
    while (at < next.count && !sameMove(next.entries[at].move, m)) ++at;
    if (exclude && at == next.count) next.add(m);
    if (!exclude && at < next.count) next.entries[at] = next.entries[--next.count];
  }
  bool same = next.count == game_.excluded.count;
  for (uint32_t i = 0; same && i < next.count; ++i) {
    bool found = false;
    for (uint32_t j = 0; j < game_.excluded.count; ++j)
      found = found || sameMove(next.entries[i].move, game_.excluded.entries[j].move);
    same = found;
  }
  if (same) return true;
  // A running analysis starts again on the new set of moves (the turn after the command starts
  // it); it plays no move, so it can be stopped under the game lock.
  if (analyzeMode_) pool_.abortSearch();
  game_.excluded = next;
  return true;
}

}  // namespace varnu
