// Counts the move-tree leaves of a few standard positions and reports nodes per second: the
// speed of move generation and make/unmake.
//
//   perft_bench [extra depth]
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "board/fen.h"
#include "board/perft.h"

int main(int argc, char** argv) {
  using namespace varnu;
  const int extra = argc > 1 ? std::atoi(argv[1]) : 0;
  struct Case {
    const char* fen;
    int depth;
  };
  const Case cases[] = {
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 5},
      {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 4},
      {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 6},
      {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 4},
  };
  PerftHashTable table(64);
  uint64_t totalNodes = 0, totalLeaves = 0;
  const auto start = std::chrono::steady_clock::now();
  for (const Case& c : cases) {
    Position pos;
    setFromFen(pos, c.fen);
    table.clear();
    uint64_t counter = 0;
    const uint64_t leaves = perft(pos, table, c.depth + extra, counter);
    std::printf("%-72s depth %d leaves %12" PRIu64 " nodes %10" PRIu64 "\n", c.fen,
                c.depth + extra, leaves, counter);
    totalNodes += counter;
    totalLeaves += leaves;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("leaves %" PRIu64 ", nodes %" PRIu64 ", time %.2f s, nodes/second %.0f\n",
              totalLeaves, totalNodes, seconds, totalNodes / seconds);
  return 0;
}
