// Fuzzes the Syzygy reader with damaged tables: the first byte picks the table the rest of the
// input stands in for, and a table that opens is read at random positions of its material. No
// input may make the reader crash, hang or read outside the file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "board/fen.h"
#include "tablebase/syzygy_table.h"

using namespace varnu;

namespace {

struct Target {
  const char* name;
  TableKind kind;
};

// Tables of every shape: without pawns, with unique pieces or not, symmetric, with pawns on one
// side or both.
const Target targets[] = {
    {"KRvK", TableKind::Wdl},  {"KRvK", TableKind::Dtz},  {"KQvK", TableKind::Wdl},
    {"KPvK", TableKind::Wdl},  {"KPvK", TableKind::Dtz},  {"KRPvK", TableKind::Wdl},
    {"KRPvK", TableKind::Dtz}, {"KPvKP", TableKind::Dtz}, {"KRvKR", TableKind::Wdl},
    {"KRvKR", TableKind::Dtz}, {"KBNvK", TableKind::Wdl}, {"KNNvK", TableKind::Wdl},
};
constexpr size_t TargetCount = sizeof targets / sizeof targets[0];

// Random legal positions of the material, either side to move.
std::vector<Position> positionsOf(const Material& m, std::mt19937& rng) {
  std::vector<Position> positions;
  for (int tries = 0; tries < 2000 && positions.size() < 48; ++tries) {
    char board[64];
    std::fill(board, board + 64, '.');
    bool placed = true;
    for (int side = 0; side < 2 && placed; ++side)
      for (int t = King; t >= Pawn && placed; --t) {
        const int n = t == King ? 1 : m.count[side][t];
        for (int i = 0; i < n && placed; ++i) {
          int s = int(rng() % 64);
          for (int k = 0; k < 64 && (board[s] != '.' || (t == Pawn && (s < 8 || s >= 56))); ++k)
            s = (s + 1) % 64;
          placed = board[s] == '.';
          board[s] = side ? pieceLetters[t] : char(pieceLetters[t] - 32);
        }
      }
    if (!placed) continue;
    std::string fen;
    for (int r = 7; r >= 0; --r) {
      for (int f = 0; f < 8; ++f) fen += board[8 * r + f] == '.' ? '1' : board[8 * r + f];
      if (r) fen += '/';
    }
    fen += rng() % 2 ? " w - - 0 1" : " b - - 0 1";
    Position pos;
    if (setFromFen(pos, fen)) positions.push_back(pos);
  }
  return positions;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::vector<Position> positions[TargetCount];
  static const bool prepared = [] {
    std::mt19937 rng(7);
    for (size_t i = 0; i < TargetCount; ++i) {
      Material m;
      if (!parseMaterial(targets[i].name, m)) std::abort();
      positions[i] = positionsOf(m, rng);
    }
    return true;
  }();
  (void)prepared;
  if (size < 1) return 0;
  const size_t which = data[0] % TargetCount;
  const Target& target = targets[which];
  // In the working folder, which the fuzzing job makes for the run and removes after it.
  const std::string path = "varnu_fuzz_" + std::to_string(getpid()) + "_" + target.name +
                           (target.kind == TableKind::Wdl ? ".rtbw" : ".rtbz");
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    if (size > 1) std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
  }
  Material material;
  parseMaterial(target.name, material);
  SyzygyTable table;
  std::string reason;
  if (table.open(path, target.kind, material, reason)) {
    for (const Position& pos : positions[which]) {
      const TableRead r = table.read(pos, int(pos.key() % 5) - 2);
      if (r.status == TableRead::Ok && target.kind == TableKind::Wdl &&
          (r.value < -2 || r.value > 2))
        std::abort();
    }
  }
  std::remove(path.c_str());
  return 0;
}
