// Searches a fixed set of positions to a fixed depth on one thread and reports the node count
// (which must not change unless the search tree changes), the time and nodes per second.
//
//   search_bench [depth] [megabytes] [multipv]
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "board/move.h"
#include "search/bench.h"
#include "search/searcher.h"

int main(int argc, char** argv) {
  using namespace varnu;
  const int depth = argc > 1 ? std::atoi(argv[1]) : BenchDefaultDepth;
  const uint32_t megabytes = argc > 2 ? uint32_t(std::atoi(argv[2])) : BenchHashMegabytes;
  const int multiPV = argc > 3 ? std::clamp(std::atoi(argv[3]), 1, MaxMultiPV) : 1;
  TranspositionTable table;
  table.resize(megabytes);
  uint64_t totalNodes = 0;
  const auto start = std::chrono::steady_clock::now();
  for (const char* fen : benchPositions) {
    const BenchResult r = benchSearch(fen, depth, table, multiPV);
    if (!r.valid) {
      std::printf("bad FEN %s\n", fen);
      return 1;
    }
    totalNodes += r.nodes;
    std::printf("%-75s %-6s %6d %10" PRIu64 "\n", fen, moveToText(r.best).c_str(), r.score,
                r.nodes);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("depth %d, multipv %d: total nodes %" PRIu64 ", time %.2f s, nodes/second %.0f\n",
              depth, multiPV, totalNodes, seconds, totalNodes / seconds);
  return 0;
}
