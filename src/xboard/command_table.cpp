#include "xboard/command_table.h"

#include "xboard/xboard.h"

namespace varnu {

namespace {

constexpr SearchEffect Stops = SearchEffect::Stops;
constexpr SearchEffect Runs = SearchEffect::Runs;
constexpr SearchEffect MovesNow = SearchEffect::MovesNow;
constexpr SearchEffect AwaitsMove = SearchEffect::AwaitsMove;
constexpr SearchEffect StopsPonder = SearchEffect::StopsPonder;
constexpr SearchEffect StopsUnlessHit = SearchEffect::StopsUnlessHit;
// "st" and "?" are whole words: as prefixes they would take "stop", "start" or "??" from the
// lines that are ignored today; so are the later rows, for the same reason.
constexpr bool WholeWord = true;
constexpr bool Prefix = false;
constexpr bool NeedsPosition = true;

const Command table[] = {
    {"quit", &XboardFrontEnd::quit, 0, 0, Stops},
    {"xboard", &XboardFrontEnd::xboard, 0, 0, Runs},
    {"protover", &XboardFrontEnd::protover, 1, 1, Runs},
    {"new", &XboardFrontEnd::newGame, 0, 0, Stops},
    {"force", &XboardFrontEnd::force, 0, 0, Stops},
    {"ping", &XboardFrontEnd::ping, 1, 1, AwaitsMove},
    {"usermove", &XboardFrontEnd::usermove, 1, 1, StopsUnlessHit, Prefix, NeedsPosition},
    {"go", &XboardFrontEnd::go, 0, 0, Stops, Prefix, NeedsPosition},
    {"playother", &XboardFrontEnd::playother, 0, 0, Stops},
    {"setboard", &XboardFrontEnd::setboard, 4, 6, Stops},
    {"variant", &XboardFrontEnd::variant, 1, 1, Stops},
    {"level", &XboardFrontEnd::level, 3, 3, Runs},
    {"sd", &XboardFrontEnd::sd, 1, 1, Stops},
    {"time", &XboardFrontEnd::time, 1, 1, Runs},
    {"st", &XboardFrontEnd::st, 1, 1, Runs, WholeWord},
    {"?", &XboardFrontEnd::moveNow, 0, 0, MovesNow, WholeWord},
    {"undo", &XboardFrontEnd::undo, 0, 0, Stops, Prefix, NeedsPosition},
    {"remove", &XboardFrontEnd::remove, 0, 0, Stops, Prefix, NeedsPosition},
    {"analyze", &XboardFrontEnd::analyze, 0, 0, Stops},
    {"exit", &XboardFrontEnd::exit, 0, 0, Stops},
    {"post", &XboardFrontEnd::post, 0, 0, Runs},
    {"nopost", &XboardFrontEnd::nopost, 0, 0, Runs},
    {"cores", &XboardFrontEnd::cores, 1, 1, Runs},
    {"option", &XboardFrontEnd::option, 1, RestOfLine, Runs},
    {"book", &XboardFrontEnd::book, 0, 0, Runs},
    {"nobook", &XboardFrontEnd::nobook, 0, 0, Runs},
    {"perft", &XboardFrontEnd::perft, 1, 1, Stops, Prefix, NeedsPosition},
    {"divide", &XboardFrontEnd::divide, 1, 1, Stops, Prefix, NeedsPosition},
    {"selftest", &XboardFrontEnd::selftest, 0, 0, Stops},
    {"eval", &XboardFrontEnd::eval, 0, 0, Runs, Prefix, NeedsPosition},
    {"hard", &XboardFrontEnd::hard, 0, 0, Runs, WholeWord},
    {"easy", &XboardFrontEnd::easy, 0, 0, StopsPonder, WholeWord},
    {"hint", &XboardFrontEnd::hint, 0, 0, Runs, WholeWord, NeedsPosition},
    {"exclude", &XboardFrontEnd::exclude, 1, 1, Runs, WholeWord, NeedsPosition},
    {"include", &XboardFrontEnd::include, 1, 1, Runs, WholeWord, NeedsPosition},
    {"memory", &XboardFrontEnd::memory, 1, 1, Runs, WholeWord},
    {"egtpath", &XboardFrontEnd::egtpath, 1, RestOfLine, Runs, WholeWord},
    {"white", &XboardFrontEnd::white, 0, 0, Stops, WholeWord},
    {"black", &XboardFrontEnd::black, 0, 0, Stops, WholeWord},
};

// A line that is a move by itself, as xboard sends moves unless the engine asked for "usermove"
// (a GUI of the first protocol version never does): played as "usermove" plays it.
constexpr Command bareMove = {
    "", &XboardFrontEnd::bareMove, 1, 1, StopsUnlessHit, WholeWord, NeedsPosition};

}  // namespace

std::span<const Command> commandTable() { return table; }

const Command& bareMoveCommand() { return bareMove; }

const Command* findCommand(std::string_view line) {
  for (const Command& c : table) {
    if (!line.starts_with(c.name)) continue;
    if (c.wholeWord && line.size() > c.name.size() && line[c.name.size()] != ' ') continue;
    return &c;
  }
  return nullptr;
}

bool isMoveText(std::string_view line) {
  if (line == "O-O" || line == "O-O-O") return true;
  if (line.size() != 4 && line.size() != 5) return false;
  const auto file = [](char c) { return c >= 'a' && c <= 'h'; };
  const auto rank = [](char c) { return c >= '1' && c <= '8'; };
  return file(line[0]) && rank(line[1]) && file(line[2]) && rank(line[3]) &&
         (line.size() == 4 || std::string_view("qrbnk").find(line[4]) != std::string_view::npos);
}

Args split(std::string_view text, char separator) {
  Args pieces;
  size_t start = 0;
  for (;;) {
    const size_t cut = text.find(separator, start);
    if (cut == std::string_view::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, cut - start));
    start = cut + 1;
  }
}

}  // namespace varnu
