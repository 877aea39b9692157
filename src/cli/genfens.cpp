#include "cli/genfens.h"

#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/make_move.h"
#include "board/movegen.h"
#include "board/number.h"
#include "search/bench.h"
#include "search/transposition_table.h"

namespace varnu {

namespace {

// A candidate is drawn this many times at most for one position before genfens gives up, and a
// position already printed is drawn again this many times before a repeat is let through (a
// small book may not hold enough different positions).
constexpr int MaxTries = 20000;
constexpr int MaxRepeatTries = 200;
// The search that judges a candidate needs only a small table.
constexpr uint32_t JudgeHashMegabytes = 4;
// A line of the book longer than this is not a position.
constexpr size_t MaxBookLine = 4096;

// The random number generator: splitmix64, fully defined by its seed on every platform (the
// standard library's distributions are not).
struct Random {
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  uint32_t below(uint32_t n) { return uint32_t(next() % n); }
};

// A starting point: the position and its move number.
struct Start {
  std::string fen;
  int moveNumber = 1;
};

bool isDigits(std::string_view text) {
  if (text.empty() || text.size() > 19) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// A seed of any size: the decimal number modulo 2^64, so farms' large seeds are all distinct
// within that range and reproducible.
bool readSeed(std::string_view text, uint64_t& seed) {
  if (text.empty()) return false;
  seed = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    seed = seed * 10 + uint64_t(c - '0');
  }
  return true;
}

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> result;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
    if (j > i) result.push_back(line.substr(i, j - i));
    i = j;
  }
  return result;
}

// One EPD line as a start: its four position fields, then the clocks either as FEN's last two
// fields or as the "hmvc" and "fmvn" operations; false for a line that holds no position.
bool readEpdLine(std::string_view line, Start& start) {
  const std::vector<std::string_view> w = words(line);
  if (w.size() < 4 || w[0][0] == '#') return false;
  std::string halfmoves = "0", moves = "1";
  if (w.size() >= 6 && isDigits(w[4]) && isDigits(w[5])) {
    halfmoves = w[4];
    moves = w[5];
  } else {
    for (size_t i = 4; i + 1 < w.size(); ++i) {
      std::string_view value = w[i + 1];
      if (!value.empty() && value.back() == ';') value.remove_suffix(1);
      if (!isDigits(value)) continue;
      if (w[i] == "hmvc") halfmoves = value;
      if (w[i] == "fmvn") moves = value;
    }
  }
  start.fen = std::string(w[0]) + " " + std::string(w[1]) + " " + std::string(w[2]) + " " +
              std::string(w[3]) + " " + halfmoves + " " + moves;
  Position pos;
  if (!setFromFen(pos, start.fen)) return false;
  start.moveNumber = std::max(1, parseNumber(moves));
  return true;
}

// Reads every position of the book; false with the reason when the file cannot be read or holds
// none.
bool readBook(const std::string& path, std::vector<Start>& starts, std::string& reason) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    reason = "cannot open the book \"" + path + "\"";
    return false;
  }
  std::string line;
  while (std::getline(file, line)) {
    Start start;
    if (line.size() <= MaxBookLine && readEpdLine(line, start)) starts.push_back(start);
  }
  if (file.bad()) {
    reason = "cannot read the book \"" + path + "\"";
    return false;
  }
  if (starts.empty()) {
    reason = "the book \"" + path + "\" holds no position";
    return false;
  }
  return true;
}

// Plays the given number of random legal moves; false when the game ends before.
bool playRandomMoves(Position& pos, int plies, Random& random) {
  for (int i = 0; i < plies; ++i) {
    MoveList list;
    generateMoves(pos, inCheck(pos), list);
    if (list.count == 0 || pos.historyCount >= MaxHistory - 2) return false;
    UndoRecord undo;
    makeMove(pos, list.entries[random.below(list.count)].move, undo);
  }
  return true;
}

// Whether the position may start a game: not in check, with moves, roughly level.
bool acceptable(Position& pos, const std::string& fen, TranspositionTable& table) {
  if (inCheck(pos) || countMoves(pos, false) == 0) return false;
  const BenchResult judged = benchSearch(fen.c_str(), GenfensDepth, table);
  return judged.valid && std::abs(judged.score) <= GenfensScoreBound;
}

}  // namespace

int runGenfens(Output& out, std::string_view command) {
  const std::vector<std::string_view> w = words(command);
  auto fail = [&](const std::string& reason) {
    out.line("info string error: " + reason);
    return 1;
  };
  uint64_t seed = 0;
  if (w.size() < 4 || w[0] != "genfens" || !isDigits(w[1]) || w[2] != "seed" ||
      !readSeed(w[3], seed) || (w.size() >= 5 && w[4] != "book") || w.size() == 5)
    return fail("usage: genfens <count> seed <number> [book <None|file.epd>]");
  const int32_t count = parseNumber(w[1]);

  std::vector<Start> starts;
  const bool fromBook = w.size() >= 6 && w[5] != "None" && w[5] != "none" && w[5] != "NONE";
  std::string reason;
  if (fromBook && !readBook(std::string(w[5]), starts, reason)) return fail(reason);
  if (!fromBook) starts.push_back({std::string(StartFen), 1});

  TranspositionTable table;
  if (!table.resize(JudgeHashMegabytes)) return fail("cannot allocate the search's table");
  Random random{seed};
  std::set<uint64_t> printed;
  for (int32_t n = 0; n < count; ++n) {
    bool found = false;
    for (int tries = 0; tries < MaxTries && !found; ++tries) {
      const Start& start = starts[random.below(uint32_t(starts.size()))];
      // From the start position eight or nine moves make the game; a book's line has made most
      // of it already.
      const int plies = (fromBook ? 2 : 8) + int(random.below(2));
      Position pos;
      setFromFen(pos, start.fen);
      const int firstSide = pos.sideToMove;
      if (!playRandomMoves(pos, plies, random)) continue;
      const int moveNumber = start.moveNumber + (plies + (firstSide == Black ? 1 : 0)) / 2;
      const std::string fen = fenText(pos, moveNumber);
      if (printed.count(pos.key()) && tries < MaxRepeatTries) continue;
      if (!acceptable(pos, fen, table)) continue;
      printed.insert(pos.key());
      out.line("info string genfens " + fen);
      found = true;
    }
    if (!found)
      return fail("no position within the bounds after " + std::to_string(MaxTries) + " tries");
  }
  return 0;
}

}  // namespace varnu
