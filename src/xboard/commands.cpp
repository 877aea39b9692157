// The protocol handlers. Each receives its arguments (their number already checked, and the
// search already stopped when its command-table row says so) and returns whether it succeeded.
#include <algorithm>
#include <cinttypes>
#include <climits>
#include <string>

#include "board/fen.h"
#include "board/move.h"
#include "board/number.h"
#include "xboard/xboard.h"

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

bool XboardFrontEnd::quit(const Args&) {
  quitRequested_ = true;
  return true;
}

bool XboardFrontEnd::xboard(const Args&) {
  out_.line("");
  xboardMode_ = true;
  return true;
}

bool XboardFrontEnd::protover(const Args&) {
  out_.block(
      "feature ping=1\nfeature setboard=1\nfeature playother=1\nfeature usermove=1\n"
      "feature colors=0\nfeature sigint=0\nfeature sigterm=0\nfeature analyze=1\n"
      "feature name=0\nfeature nps=0\nfeature debug=1\nfeature smp=1\nfeature memory=1\n"
      "feature egt=\"syzygy\"\nfeature variants=\"normal,fischerandom\"\n");
  const Options& options = engine_.options();
  for (const OptionRow& row : Options::rows()) {
    if (row.xboardName.empty()) continue;
    // xboard shows a check option's value as 1 or 0.
    const std::string value = row.type == OptionType::Check
                                  ? std::to_string(options.number(row.setting))
                                  : options.valueText(row);
    std::string text = "feature option=\"" + std::string(row.xboardName) + " " +
                       std::string(row.xboardType) + " " + value;
    if (row.type == OptionType::Spin)
      text += " " + std::to_string(row.min) + " " +
              std::to_string(options.maximum(row, Protocol::Xboard));
    out_.line(text + "\"");
  }
  out_.line("feature exclude=1");
  out_.printf("feature myname=\"%s\"\n", std::string(EngineName).c_str());
  // protover does not stop a search: a running search keeps its workers, and a change of the
  // core count takes effect when the next search starts.
  engine_.prepare();
  out_.line("feature done=1");
  return true;
}

bool XboardFrontEnd::newGame(const Args&) {
  // A new game is standard chess until xboard names another variant.
  engine_.setOption(Setting::Chess960, "false", Protocol::Xboard);
  engine_.newGame();
  gameOver_ = false;
  forceMode_ = false;
  boardPrintPending_ = true;
  depthLimit_ = 0;
  const int side = engine_.sideToMove();
  engineSide_ = analyzeMode_ ? side : side ^ 1;
  printBoardNow();
  return true;
}

bool XboardFrontEnd::force(const Args&) {
  engine_.clock().stopwatch.stop();
  engineSide_ = NoColour;
  forceMode_ = true;
  return true;
}

bool XboardFrontEnd::ping(const Args& args) {
  out_.printf("pong %d\n", parseNumber(args[0]));
  return true;
}

bool XboardFrontEnd::usermove(const Args& args) { return playUserMove(args[0], false); }

bool XboardFrontEnd::bareMove(const Args& args) { return playUserMove(args[0], true); }

bool XboardFrontEnd::playUserMove(std::string_view text, bool bare) {
  if (gameOver_) {
    out_.line("Error (cannot make a move at end of game)");
    return false;
  }
  const bool castles =
      engine_.options().flag(Setting::Chess960) && (text == "O-O" || text == "O-O-O");
  if (!castles && (text.size() < 4 || text.size() > 5)) {
    out_.printf("Error (illegal argument to 'usermove' command): %.*s\n", int(text.size()),
                text.data());
    return false;
  }
  switch (engine_.makeMove(text)) {
    case MoveResult::Illegal:
      out_.printf(bare ? "Illegal move: %.*s\n" : "Error (illegal move): %.*s\n", int(text.size()),
                  text.data());
      return false;
    case MoveResult::RecordFull:
      out_.printf("Error (too many moves in this game): %.*s\n", int(text.size()), text.data());
      return false;
    case MoveResult::Done:
      break;
  }
  out_.printf("# making user move: %.*s\n", int(text.size()), text.data());
  if (!forceMode_ || analyzeMode_) engineSide_ = engine_.sideToMove();
  printBoardNow();
  return true;
}

bool XboardFrontEnd::go(const Args&) {
  if (gameOver_) {
    out_.line("Error (cannot make a move at end of game)");
    return false;
  }
  if (engine_.movesPlayed() >= GameRecord::Capacity) {
    out_.line("Error (too many moves in this game)");
    return false;
  }
  forceMode_ = false;
  if (analyzeMode_) leaveAnalysis();
  engineSide_ = engine_.sideToMove();
  return true;
}

bool XboardFrontEnd::playother(const Args&) {
  forceMode_ = false;
  if (analyzeMode_) leaveAnalysis();
  engineSide_ = engine_.sideToMove() ^ 1;
  return true;
}

bool XboardFrontEnd::setboard(const Args& args) {
  // A refused text sets nothing: until the next position the engine has none to play or analyse,
  // rather than the one before, which the GUI no longer shows.
  if (engine_.setPosition(joinArgs(args)).kind != PositionResult::Kind::Done) {
    out_.line("tellusererror Illegal position");
    return false;
  }
  boardPrintPending_ = true;
  gameOver_ = false;
  if (analyzeMode_) {
    engineSide_ = engine_.sideToMove();
  } else {
    stopPlaying();
  }
  return true;
}

// "variant fischerandom" makes the game Chess960 until the next "new"; "variant normal" makes
// it standard chess again. Either starts from the start position, as after "new", until xboard
// sends the game's own with "setboard".
bool XboardFrontEnd::variant(const Args& args) {
  if (args[0] != "normal" && args[0] != "fischerandom") {
    out_.printf("Error (unsupported variant): %.*s\n", int(args[0].size()), args[0].data());
    return false;
  }
  engine_.setOption(Setting::Chess960, args[0] == "fischerandom" ? "true" : "false",
                    Protocol::Xboard);
  setStartPosition();
  boardPrintPending_ = true;
  return true;
}

bool XboardFrontEnd::level(const Args& args) {
  const Args pieces = split(args[1], ':');
  if (pieces.size() > 2) return false;
  int64_t seconds = 60 * int64_t(parseNumber(pieces[0]));
  if (pieces.size() == 2) seconds += parseNumber(pieces[1]);
  engine_.clock().setSessions(uint32_t(parseNumber(args[0])), saturate(100 * seconds),
                              saturate(100 * int64_t(parseNumber(args[2]))));
  return true;
}

bool XboardFrontEnd::sd(const Args& args) {
  const int32_t depth = parseNumber(args[0]);
  if (depth < 0) return false;
  depthLimit_ = depth;
  return true;
}

bool XboardFrontEnd::time(const Args& args) {
  engine_.clock().setRemaining(parseNumber(args[0]), engine_.movesPlayed());
  return true;
}

// Seconds with an optional fraction ("st 0.5"), as clients send them; less than a centisecond is
// refused.
bool XboardFrontEnd::st(const Args& args) {
  const int32_t centiseconds = parseScaled(args[0], 2);
  if (centiseconds < 1) {
    out_.printf("Error (illegal argument to 'st' command): %.*s\n", int(args[0].size()),
                args[0].data());
    return false;
  }
  engine_.clock().setMoveTime(centiseconds);
  return true;
}

// "?" ends the engine's own search before this handler runs (see the command table); there is
// nothing left to do here, and at any other time the command does nothing.
bool XboardFrontEnd::moveNow(const Args&) { return true; }

bool XboardFrontEnd::undo(const Args&) { return takeBack(1); }

bool XboardFrontEnd::remove(const Args&) { return takeBack(2); }

bool XboardFrontEnd::takeBack(int moves) {
  if (!engine_.takeBack(moves)) return false;
  boardPrintPending_ = true;
  gameOver_ = false;
  if (analyzeMode_) engineSide_ = engine_.sideToMove();
  return true;
}

bool XboardFrontEnd::analyze(const Args&) {
  if (analyzeMode_) return true;
  analyzeMode_ = true;
  engineSide_ = engine_.sideToMove();
  depthLimit_ = 0;
  return true;
}

bool XboardFrontEnd::exit(const Args&) {
  if (!analyzeMode_) return false;
  leaveAnalysis();
  engineSide_ = NoColour;
  return true;
}

void XboardFrontEnd::leaveAnalysis() {
  analyzeMode_ = false;
  depthLimit_ = 0;
}

bool XboardFrontEnd::post(const Args&) {
  postThinking_ = true;
  return true;
}

bool XboardFrontEnd::nopost(const Args&) {
  postThinking_ = false;
  return true;
}

bool XboardFrontEnd::cores(const Args& args) {
  const int32_t n = parseNumber(args[0]);
  if (n < 1) return false;
  engine_.setCores(n);
  return true;
}

// "egtpath syzygy <folders>": where the Syzygy endgame tables are (xboard sends it for the kind
// "feature egt" announced). The folders are the rest of the line, so a path may hold spaces; the
// engine notes the tables found.
bool XboardFrontEnd::egtpath(const Args& args) {
  if (args[0] != "syzygy") {
    out_.printf("Error (unsupported tablebase kind): %.*s\n",
                int(std::min<size_t>(args[0].size(), 100)), args[0].data());
    return false;
  }
  const std::string folders = joinArgs(Args(args.begin() + 1, args.end()));
  if (engine_.setOption(Setting::SyzygyPath, folders, Protocol::Xboard) != Options::Result::Done) {
    out_.line("Error (path too long): egtpath");
    return false;
  }
  return true;
}

// "memory N": the megabytes the GUI grants the engine, which go to the hash table, as if its
// option were set. It is read as UCI reads the setting, strictly and over its whole range: the
// option's narrower range is only what its feature line has always announced.
bool XboardFrontEnd::memory(const Args& args) {
  OptionValue megabytes;
  if (!engine_.options().read(Setting::Hash, args[0], Protocol::Uci, megabytes)) {
    out_.printf("Error (illegal argument to 'memory' command): %.*s\n", int(args[0].size()),
                args[0].data());
    return false;
  }
  // xboard repeats it before every game, whose "new" empties the table anyway.
  if (megabytes.number != engine_.options().number(Setting::Hash))
    engine_.applyOption(Setting::Hash, megabytes);
  return true;
}

bool XboardFrontEnd::option(const Args& args) {
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
  if (!hasValue || !engine_.options().read(row->setting, value, Protocol::Xboard, read)) {
    out_.printf("Error (illegal value for '%s' option): %s\n", name.c_str(), value.c_str());
    return false;
  }
  const bool numeric = row->type == OptionType::Spin || row->type == OptionType::Check;
  const std::string shown = numeric ? std::to_string(read.number) : read.text;
  out_.printf("# setting option: %s=%s\n", name.c_str(), shown.c_str());
  const int32_t before = engine_.options().number(row->setting);
  // The engine notes why a change could not be made; the command fails where the row says so.
  if (!engine_.applyOption(row->setting, read) && row->refusalIsError) return false;
  // A running analysis starts again with the new setting (the turn after the command starts it).
  if (row->restartsAnalysis && analyzeMode_ && engine_.options().number(row->setting) != before)
    engine_.stop();
  return true;
}

// "book" and "nobook" turn the opening book's use on and off.
bool XboardFrontEnd::book(const Args&) {
  engine_.setOption(Setting::OwnBook, "true", Protocol::Xboard);
  return true;
}

bool XboardFrontEnd::nobook(const Args&) {
  engine_.setOption(Setting::OwnBook, "false", Protocol::Xboard);
  return true;
}

bool XboardFrontEnd::perft(const Args& args) { return count(args[0], false); }

bool XboardFrontEnd::divide(const Args& args) { return count(args[0], true); }

// perft and divide: the totals after "# " for perft, with divide's count of each root move
// before them; the table's filling is a comment either way.
bool XboardFrontEnd::count(std::string_view depthText, bool divide) {
  const int32_t depth = parseNumber(depthText);
  if (depth < 1 || depth > engine_.maxPerftDepth()) return false;
  const Engine::DivideLine each = [&](const std::string& move, uint64_t leaves) {
    out_.line(move + " " + std::to_string(leaves));
  };
  const PerftTotals totals = engine_.perft(depth, divide ? &each : nullptr);
  out_.block(perftTotalsText(totals, divide ? "" : "# "));
  out_.printf("# ptHashFull%%:  %g\n", totals.fillPercent);
  return true;
}

bool XboardFrontEnd::selftest(const Args&) {
  const SelfTestTotals totals = engine_.selfTest([&](const SelfTestResult& r) {
    if (!r.fenRead)
      out_.printf("# Self-test no. %d FAILED  (illegal FEN)\n", r.number);
    else if (r.passed())
      out_.printf(
          "# Self-test no. %d passed: n=%" PRIu64 ", t=%d, lps=%" PRIu64 ", nps=%" PRIu64 "\n",
          r.number, r.leaves, r.time, perSecond(r.leaves, r.time), perSecond(r.nodes, r.time));
    else
      out_.printf("# Self-test no. %d FAILED  (expected %" PRIu64 ", got %" PRIu64 ")\n", r.number,
                  r.expected, r.leaves);
  });
  out_.printf("%d tests passed, %d tests failed, 0 tests skipped, total %d tests run:\n",
              totals.passed, totals.failed, totals.passed + totals.failed);
  out_.printf("n=%" PRIu64 ", t=%d, lps=%" PRIu64 ", nps=%" PRIu64 "\n", totals.nodes, totals.time,
              perSecond(totals.leaves, totals.time), perSecond(totals.nodes, totals.time));
  return newGame(Args{});
}

bool XboardFrontEnd::eval(const Args&) {
  out_.block(engine_.evalTable());
  return true;
}

// Pondering starts after the engine's next move.
bool XboardFrontEnd::hard(const Args&) {
  engine_.setOption(Setting::Ponder, "true", Protocol::Xboard);
  return true;
}

// The command table stops a ponder search once this has run, so that none follows.
bool XboardFrontEnd::easy(const Args&) {
  engine_.setOption(Setting::Ponder, "false", Protocol::Xboard);
  return true;
}

bool XboardFrontEnd::hint(const Args&) {
  if (const Move reply = engine_.hint(); reply != NullMove)
    out_.line("Hint: " + moveToText(reply, engine_.notation()));
  return true;
}

// The first protocol version's way to hand the engine a colour, still sent by some GUIs: the
// colour named is to move (the game's position turns to it where it is not, if that position is
// legal) and the engine plays the other colour; the clocks stop.
bool XboardFrontEnd::white(const Args&) { return colourToMove(White); }

bool XboardFrontEnd::black(const Args&) { return colourToMove(Black); }

bool XboardFrontEnd::colourToMove(int colour) {
  engine_.clock().stopwatch.stop();
  if (engine_.sideToMove() != colour && engine_.turnTo(colour)) boardPrintPending_ = true;
  if (analyzeMode_) leaveAnalysis();
  forceMode_ = false;
  engineSide_ = colour ^ 1;
  return true;
}

bool XboardFrontEnd::exclude(const Args& args) { return changeExclusion(args[0], true); }

bool XboardFrontEnd::include(const Args& args) { return changeExclusion(args[0], false); }

bool XboardFrontEnd::changeExclusion(std::string_view text, bool exclude) {
  switch (engine_.exclude(text, exclude)) {
    case ExclusionResult::Illegal:
      out_.printf("Error (illegal move): %.*s\n", int(text.size()), text.data());
      return false;
    case ExclusionResult::Changed:
      // A running analysis starts again on the new set of moves (the turn after the command
      // starts it).
      if (analyzeMode_) engine_.stop();
      break;
    case ExclusionResult::Unchanged:
      break;
  }
  return true;
}

}  // namespace varnu
