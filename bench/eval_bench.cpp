// Evaluates a fixed set of positions many times on one thread and reports evaluations per
// second, with a checksum of the scores that must not change unless the evaluation does.
// The first pass uses the full window (every term computed); the second a zero window at 0,
// as most calls in a search see it, where the lazy exit may skip the positional terms.
//
//   eval_bench [rounds]
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "board/fen.h"
#include "eval/evaluate.h"

namespace {

const char* const positions[] = {
    // Openings
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "rnbqkbnr/pp1ppppp/8/2p5/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 1 2",
    "r1bqkbnr/pppp1ppp/2n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 3 3",
    "rnbqkb1r/pp2pppp/3p1n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R b KQkq - 2 5",
    "rnbqk2r/ppp1bppp/4pn2/3p4/2PP4/2N2N2/PP2PPPP/R1BQKB1R w KQkq - 4 5",
    "rnbq1rk1/ppp1ppbp/3p1np1/8/2PPP3/2N2N2/PP3PPP/R1BQKB1R w KQ - 0 6",
    "r2qkbnr/ppp2ppp/2np4/4p3/2B1P1b1/5N2/PPPP1PPP/RNBQ1RK1 w kq - 2 5",
    // Middlegames
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 3 9",
    "2rq1rk1/pb1nbppp/1p2pn2/2pp4/2PP4/1PN1PN2/PB2BPPP/2RQ1RK1 w - - 2 11",
    "r2q1rk1/1b2bppp/p2ppn2/1p6/3NP3/1BN1B3/PPP2PPP/R2Q1RK1 w - - 0 12",
    "3r1rk1/pp3ppp/2n1bn2/q1bpp3/8/2PP1NP1/PP1NPPBP/R1BQ1RK1 w - - 0 11",
    "2r2rk1/1bqnbppp/p3pn2/1p6/3N4/P1N1B1P1/1PQ1PPBP/2RR2K1 w - - 4 16",
    "r3r1k1/pp3pbp/1qp3p1/2B5/2BP2b1/Q1n2N2/P4PPP/3R1K1R b - - 0 17",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "2kr3r/ppp2ppp/2n5/2b1q3/4P3/2N5/PPP1QPPP/R1B2RK1 w - - 0 14",
    // Endgames, the scaling rules and the mating path
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "8/8/4kpp1/3p1b2/p6P/2B5/6P1/6K1 b - - 3 47",
    "8/5pk1/6p1/p2R3p/P6P/5K2/1r3PP1/8 b - - 4 41",
    "8/8/1p1k4/5ppp/PPK1p3/6P1/5P1P/8 b - - 1 37",
    "4r1k1/1p3pp1/p1p4p/3n4/3P4/1P3N1P/P4PP1/2R3K1 w - - 0 27",
    "8/6pk/1p6/8/PP3p1p/5P2/4KP1q/3Q4 w - - 0 1",
    "7k/5ppp/PPP5/8/8/8/8/K7 w - - 0 1",
    "8/8/8/8/P7/8/7k/2B1K3 b - - 0 1",
    "6b1/8/8/8/8/1k6/8/KN6 b - - 0 1",
    "1Q6/8/8/8/4K3/8/7p/7k w - - 0 1",
    "8/8/8/8/8/3k4/8/3KQ3 w - - 0 1",
    "8/8/8/8/8/2k5/8/KBN5 b - - 0 1",
    "8/3k4/8/8/8/8/3KP3/8 w - - 0 1",
};

constexpr int positionCount = sizeof positions / sizeof positions[0];

struct PassResult {
  double seconds;
  int64_t checksum;
};

// Evaluates every position rounds times with the given window.
PassResult runPass(const varnu::Position* set, int rounds, int alpha, int beta) {
  const auto start = std::chrono::steady_clock::now();
  int64_t checksum = 0;
  for (int r = 0; r < rounds; ++r)
    for (int i = 0; i < positionCount; ++i)
      checksum += int64_t(i + 1) * varnu::evaluate(set[i], alpha, beta);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  return {elapsed.count(), checksum};
}

}  // namespace

int main(int argc, char** argv) {
  using namespace varnu;
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
  static Position set[positionCount];
  for (int i = 0; i < positionCount; ++i) {
    if (!setFromFen(set[i], positions[i])) {
      std::printf("cannot read position %d: %s\n", i + 1, positions[i]);
      return 1;
    }
  }
  const int64_t evaluations = int64_t(rounds) * positionCount;
  struct Pass {
    const char* name;
    int alpha, beta;
  };
  for (const Pass& pass :
       {Pass{"full window", -MateScore, MateScore}, Pass{"zero window", -1, 0}}) {
    const PassResult result = runPass(set, rounds, pass.alpha, pass.beta);
    std::printf("%-12s %" PRId64
                " evaluations of %d positions in %.3f s: %.0f evaluations/s, "
                "checksum %" PRId64 "\n",
                pass.name, evaluations, positionCount, result.seconds,
                double(evaluations) / result.seconds, result.checksum);
  }
  return 0;
}
