// Fuzzes the book reader with arbitrary book files: a probe gives a legal move or none.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "board/fen.h"
#include "board/move.h"
#include "board/movegen.h"
#include "book/opening_book.h"

using namespace varnu;

namespace {

// Positions whose keys the seed books hold.
const char* const fens[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
    "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
    "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1",
    "4k3/1P6/8/8/8/8/8/4K3 w - - 0 1",
};

bool legal(Position& pos, Move m) {
  MoveList list;
  generateMoves(pos, inCheck(pos), list);
  for (uint32_t i = 0; i < list.count; ++i)
    if (list.entries[i].move == m) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // In the working folder, which the fuzzing job makes for the run and removes after it.
  static const std::string path = "varnu_fuzz_book_" + std::to_string(getpid()) + ".bin";
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  OpeningBook book(path, 12345);
  for (const char* fen : fens) {
    Position pos;
    if (!setFromFen(pos, fen)) std::abort();
    const Move m = book.probe(pos);
    if (m != NullMove && !legal(pos, m)) std::abort();
  }
  for (size_t i = 0; i + 16 <= size; i += 16) {
    unsigned char bytes[16];
    for (int k = 0; k < 16; ++k) bytes[k] = data[i + k];
    Position pos;
    setFromFen(pos, fens[i / 16 % 5]);
    convertBookMove(pos, decodeBookEntry(bytes).move);
  }
  return 0;
}
