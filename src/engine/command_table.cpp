#include "engine/command_table.h"

#include "engine/engine.h"

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
    {"quit", &Engine::quit, 0, 0, Stops},
    {"xboard", &Engine::xboard, 0, 0, Runs},
    {"protover", &Engine::protover, 1, 1, Runs},
    {"new", &Engine::newGame, 0, 0, Stops},
    {"force", &Engine::force, 0, 0, Stops},
    {"ping", &Engine::ping, 1, 1, AwaitsMove},
    {"usermove", &Engine::usermove, 1, 1, StopsUnlessHit, Prefix, NeedsPosition},
    {"go", &Engine::go, 0, 0, Stops, Prefix, NeedsPosition},
    {"playother", &Engine::playother, 0, 0, Stops},
    {"setboard", &Engine::setboard, 4, 6, Stops},
    {"variant", &Engine::variant, 1, 1, Stops},
    {"level", &Engine::level, 3, 3, Runs},
    {"sd", &Engine::sd, 1, 1, Stops},
    {"time", &Engine::time, 1, 1, Runs},
    {"st", &Engine::st, 1, 1, Runs, WholeWord},
    {"?", &Engine::moveNow, 0, 0, MovesNow, WholeWord},
    {"undo", &Engine::undo, 0, 0, Stops, Prefix, NeedsPosition},
    {"remove", &Engine::remove, 0, 0, Stops, Prefix, NeedsPosition},
    {"analyze", &Engine::analyze, 0, 0, Stops},
    {"exit", &Engine::exit, 0, 0, Stops},
    {"post", &Engine::post, 0, 0, Runs},
    {"nopost", &Engine::nopost, 0, 0, Runs},
    {"cores", &Engine::cores, 1, 1, Runs},
    {"option", &Engine::option, 1, RestOfLine, Runs},
    {"book", &Engine::book, 0, 0, Runs},
    {"nobook", &Engine::nobook, 0, 0, Runs},
    {"perft", &Engine::perft, 1, 1, Stops, Prefix, NeedsPosition},
    {"divide", &Engine::divide, 1, 1, Stops, Prefix, NeedsPosition},
    {"selftest", &Engine::selftest, 0, 0, Stops},
    {"eval", &Engine::eval, 0, 0, Runs, Prefix, NeedsPosition},
    {"hard", &Engine::hard, 0, 0, Runs, WholeWord},
    {"easy", &Engine::easy, 0, 0, StopsPonder, WholeWord},
    {"hint", &Engine::hint, 0, 0, Runs, WholeWord, NeedsPosition},
    {"exclude", &Engine::exclude, 1, 1, Runs, WholeWord, NeedsPosition},
    {"include", &Engine::include, 1, 1, Runs, WholeWord, NeedsPosition},
    {"memory", &Engine::memory, 1, 1, Runs, WholeWord},
    {"egtpath", &Engine::egtpath, 1, RestOfLine, Runs, WholeWord},
};

}  // namespace

std::span<const Command> commandTable() { return table; }

const Command* findCommand(std::string_view line) {
  for (const Command& c : table) {
    if (!line.starts_with(c.name)) continue;
    if (c.wholeWord && line.size() > c.name.size() && line[c.name.size()] != ' ') continue;
    return &c;
  }
  return nullptr;
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
