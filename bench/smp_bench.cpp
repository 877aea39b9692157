// Time to reach a fixed depth with one worker and with two, through the engine's calls.
//
//   smp_bench [depth]
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/engine.h"

namespace {

const char* const positions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r1bqkbnr/pppp1ppp/2n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 3 3",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "2rq1rk1/pb1nbppp/1p2pn2/2pp4/2PP4/1PN1PN2/PB2BPPP/2RQ1RK1 w - - 2 11",
    "r2q1rk1/1b2bppp/p2ppn2/1p6/3NP3/1BN1B3/PPP2PPP/R2Q1RK1 w - - 0 12",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "4r1k1/1p3pp1/p1p4p/3n4/3P4/1P3N1P/P4PP1/2R3K1 w - - 0 27",
};

// Keeps the nodes of each search.
struct Listener : varnu::EngineListener {
  void onStatistics(const varnu::SearchStatistics& s) override { nodes = s.nodes; }
  uint64_t nodes = 0;
};

double timeToDepth(int cores, int depth, uint64_t& nodes) {
  using namespace varnu;
  SearchLimits limits;  // a clock that never runs out: each search ends at the depth
  limits.moveTime = 1 << 30;
  limits.depth = depth;
  Output quiet;
  Engine engine(quiet);
  Listener listener;
  engine.attach(listener, FrontEndStyle{});
  engine.setOption(Setting::OwnBook, "false", Protocol::Uci);
  engine.setOption(Setting::Hash, "64", Protocol::Uci);
  engine.setCores(cores);
  engine.prepare();
  double total = 0;
  nodes = 0;
  for (const char* fen : positions) {
    engine.setPosition(fen);
    engine.setOption(Setting::ClearHash, "", Protocol::Uci);
    const auto start = std::chrono::steady_clock::now();
    engine.go(limits, SearchGoal::ReportMove);
    engine.waitIdle();
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    nodes += listener.nodes;
  }
  engine.detach(listener);
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  const int depth = argc > 1 ? std::atoi(argv[1]) : 10;
  uint64_t nodes1 = 0, nodes2 = 0;
  const double one = timeToDepth(1, depth, nodes1);
  const double two = timeToDepth(2, depth, nodes2);
  std::printf("depth %d over %zu positions: 1 worker %.2f s (%" PRIu64
              " nodes, %.0f n/s), "
              "2 workers %.2f s (%" PRIu64 " nodes, %.0f n/s), speed-up %.2f\n",
              depth, std::size(positions), one, nodes1, nodes1 / one, two, nodes2, nodes2 / two,
              one / two);
  return 0;
}
