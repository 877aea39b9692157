#include "cli/bench_command.h"

#include <chrono>
#include <cinttypes>
#include <string_view>

#include "board/move.h"
#include "board/number.h"
#include "search/bench.h"

namespace varnu {

namespace {

constexpr int MaxBenchDepth = 100;

// True when the text is a decimal number from 1 to MaxBenchDepth; the depth is set then.
bool readDepth(std::string_view text, int& depth) {
  if (text.empty() || text.size() > 3) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  depth = parseNumber(text);
  return depth >= 1 && depth <= MaxBenchDepth;
}

}  // namespace

int runBench(Output& out, int argc, const char* const* argv) {
  int depth = BenchDefaultDepth;
  if (argc > 1 || (argc == 1 && !readDepth(argv[0], depth))) {
    out.printf("Error (usage: varnu bench [depth], a depth from 1 to %d)\n", MaxBenchDepth);
    return 1;
  }
  TranspositionTable table;
  if (!table.resize(BenchHashMegabytes)) {
    out.printf("Error (cannot allocate %u MB for the table)\n", BenchHashMegabytes);
    return 1;
  }
  uint64_t nodes = 0;
  const auto start = std::chrono::steady_clock::now();
  for (const char* fen : benchPositions) {
    const BenchResult r = benchSearch(fen, depth, table);
    nodes += r.nodes;
    out.printf("%-75s %-6s %6d %10" PRIu64 "\n", fen, moveToText(r.best).c_str(), r.score, r.nodes);
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const uint64_t ms =
      uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
  out.printf("depth %d, %d positions, %" PRIu64 " ms\n", depth, int(benchPositions.size()), ms);
  out.printf("%" PRIu64 " nodes %" PRIu64 " nps\n", nodes, nodes * 1000 / (ms > 0 ? ms : 1));
  return 0;
}

}  // namespace varnu
