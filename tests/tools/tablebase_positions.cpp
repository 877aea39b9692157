// Tablebase positions: prints random legal positions of one material that the Syzygy tables
// call won for the side to move within a range of DTZ, or drawn with the weaker side to move
// and enough of its moves losing. They are start positions for games (the referee's --fens)
// that show whether an engine converts a won ending, or holds a drawn one, against a strong
// opponent.
//
//   tablebase_positions --tables DIR --material KQvKR --won [options]
//   tablebase_positions --tables DIR --material KRvKB --drawn [options]
//
// The material names the side that has the winning chances first. --won puts that side to move
// in a position it wins (WDL 2) with a DTZ between --min-dtz and --max-dtz plies; --drawn puts
// the other side to move in a drawn position (WDL 0) where at least --min-losing of its legal
// moves lose, and none captures.
//
// Options:
//   --count N        positions to print (default 8)
//   --seed S         seed of the generator, mixed with the material and --won or --drawn so that
//                    lists of different material differ; the same command prints the same list
//                    (default 1)
//   --min-dtz N      fewest plies to the win's next capture or pawn move (default 33)
//   --max-dtz N      most plies to it (default 89)
//   --min-losing N   fewest losing moves of the defender in a drawn position (default 3)
//
// Every position has no castling rights, no en passant square, a half-move clock of 0, and no
// king in check. Each is printed as FEN with a comment of what the tables say about it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/make_move.h"
#include "board/movegen.h"
#include "tablebase/tablebases.h"

namespace {

using namespace varnu;

// SplitMix64: the same numbers from the same seed with any compiler and library, which the
// standard distributions do not promise.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int below(int n) { return int(next() % uint64_t(n)); }

 private:
  uint64_t state_;
};

struct Settings {
  std::string tables;
  std::string material;
  bool won = false;
  bool drawn = false;
  int count = 8;
  uint64_t seed = 1;
  int minDtz = 33;
  int maxDtz = 89;
  int minLosing = 3;
};

// The pieces of each side as FEN letters, the side with the winning chances first: "KQvKR"
// gives "KQ" and "KR". False for a text that is not two groups of piece letters with one king
// each.
bool splitMaterial(const std::string& text, std::string (&sides)[2]) {
  const size_t v = text.find('v');
  if (v == std::string::npos) return false;
  sides[0] = text.substr(0, v);
  sides[1] = text.substr(v + 1);
  for (const std::string& side : sides) {
    if (side.find_first_not_of("KQRBNP") != std::string::npos) return false;
    if (std::count(side.begin(), side.end(), 'K') != 1) return false;
  }
  return true;
}

// A random placement of the pieces with the given side to move (0 the stronger side): the FEN
// of it, or an empty text when our board refuses it (the side not to move in check). Pawns
// stand on the ranks a pawn can stand on.
std::string randomFen(Random& random, const std::string (&sides)[2], int strongColour,
                      int moverColour) {
  char board[64];
  std::fill(std::begin(board), std::end(board), '.');
  for (int s = 0; s < 2; ++s) {
    const bool white = (s == 0) == (strongColour == White);
    for (char piece : sides[s]) {
      int square;
      do {
        square = random.below(64);
      } while (board[square] != '.' || (piece == 'P' && (square < 8 || square >= 56)));
      board[square] = char(white ? piece : piece - 'A' + 'a');
    }
  }
  std::string fen;
  for (int rank = 7; rank >= 0; --rank) {
    int empty = 0;
    for (int file = 0; file < 8; ++file) {
      const char c = board[8 * rank + file];
      if (c == '.') {
        ++empty;
        continue;
      }
      if (empty > 0) fen += char('0' + empty);
      empty = 0;
      fen += c;
    }
    if (empty > 0) fen += char('0' + empty);
    if (rank > 0) fen += '/';
  }
  fen += moverColour == White ? " w - - 0 1" : " b - - 0 1";
  return fen;
}

// The legal moves of the position, each made and probed: how many leave the opponent a win
// (WDL 2 from its side), and whether any captures. False when a probe fails.
bool countLosingMoves(const Tablebases& tables, Position& pos, int& losing, bool& captures) {
  MoveList moves;
  generateMoves(pos, false, moves);
  losing = 0;
  captures = false;
  for (uint32_t i = 0; i < moves.count; ++i) {
    const Move m = moves.entries[i].move;
    if (pos.pieceType[moveToSquare(m)] != NoPiece) captures = true;
    UndoRecord undo;
    makeMove(pos, m, undo);
    int wdl = 0;
    const bool probed = tables.probeWdl(pos, wdl);
    unmakeMove(pos, m, undo);
    if (!probed) return false;
    if (wdl == WdlWin) ++losing;
  }
  return true;
}

int usage(const char* message) {
  std::fprintf(stderr,
               "tablebase_positions: %s\n(see the head of tests/tools/tablebase_positions.cpp)\n",
               message);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--won") {
      settings.won = true;
      continue;
    }
    if (option == "--drawn") {
      settings.drawn = true;
      continue;
    }
    if (i + 1 >= argc) return usage(("missing value for " + option).c_str());
    const char* v = argv[++i];
    if (option == "--tables") {
      settings.tables = v;
    } else if (option == "--material") {
      settings.material = v;
    } else if (option == "--count") {
      settings.count = std::atoi(v);
    } else if (option == "--seed") {
      settings.seed = std::strtoull(v, nullptr, 10);
    } else if (option == "--min-dtz") {
      settings.minDtz = std::atoi(v);
    } else if (option == "--max-dtz") {
      settings.maxDtz = std::atoi(v);
    } else if (option == "--min-losing") {
      settings.minLosing = std::atoi(v);
    } else {
      return usage(("unknown option " + option).c_str());
    }
  }
  std::string sides[2];
  if (!splitMaterial(settings.material, sides)) return usage("bad --material, such as KQvKR");
  if (settings.won == settings.drawn) return usage("give one of --won and --drawn");
  if (settings.tables.empty()) return usage("--tables is required");

  Tablebases tables;
  const TablebaseScan scan = tables.setPath(settings.tables);
  if (scan.largest < int(sides[0].size() + sides[1].size()))
    return usage(("no tables for " + settings.material + " in " + settings.tables).c_str());

  uint64_t seed = settings.seed;
  for (char c : settings.material + (settings.won ? "won" : "drawn"))
    seed = (seed ^ uint8_t(c)) * 0x100000001B3ull;
  Random random(seed);
  int found = 0;
  int64_t tries = 0;
  // A cap on the tries, so that a range no position meets ends with a message.
  constexpr int64_t MaxTries = 50'000'000;
  while (found < settings.count && tries++ < MaxTries) {
    const int strongColour = random.below(2) == 0 ? White : Black;
    const int mover = settings.won ? strongColour : strongColour ^ 1;
    const std::string fen = randomFen(random, sides, strongColour, mover);
    Position pos;
    if (!setFromFen(pos, fen) || inCheck(pos)) continue;
    int wdl = 0;
    if (!tables.probeWdl(pos, wdl)) return usage(("probe failed for " + fen).c_str());
    if (settings.won) {
      int dtz = 0;
      if (wdl != WdlWin || !tables.probeDtz(pos, dtz)) continue;
      if (dtz < settings.minDtz || dtz > settings.maxDtz) continue;
      std::printf("%s  # %s won, DTZ %d\n", fen.c_str(), settings.material.c_str(), dtz);
    } else {
      if (wdl != WdlDraw) continue;
      int losing = 0;
      bool captures = false;
      if (!countLosingMoves(tables, pos, losing, captures))
        return usage(("probe failed after a move of " + fen).c_str());
      if (captures || losing < settings.minLosing) continue;
      std::printf("%s  # %s drawn, %d of %u moves lose\n", fen.c_str(), settings.material.c_str(),
                  losing, countMoves(pos, false));
    }
    ++found;
  }
  if (found < settings.count) {
    std::fprintf(stderr, "tablebase_positions: only %d positions in %lld tries\n", found,
                 (long long)MaxTries);
    return 1;
  }
  return 0;
}
