#include "search/bench.h"

#include "board/fen.h"
#include "search/move_timer.h"
#include "search/searcher.h"

namespace varnu {

namespace {

const char* const positions[] = {
    // Openings
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "rnbqkbnr/pp1ppppp/8/2p5/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 1 2",
    "r1bqkbnr/pppp1ppp/2n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 3 3",
    "rnbqkb1r/pp2pppp/3p1n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R b KQkq - 2 5",
    "rnbqk2r/ppp1bppp/4pn2/3p4/2PP4/2N2N2/PP2PPPP/R1BQKB1R w KQkq - 4 5",
    "r1bqk2r/2ppbppp/p1n2n2/1p2p3/4P3/1B3N2/PPPP1PPP/RNBQR1K1 b kq - 1 7",
    "rnbq1rk1/ppp1ppbp/3p1np1/8/2PPP3/2N2N2/PP3PPP/R1BQKB1R w KQ - 0 6",
    "r1bqkb1r/pp3ppp/2np1n2/4p3/3NP3/2N5/PPP1BPPP/R1BQK2R w KQkq - 0 7",
    "rnbqkb1r/p3pppp/2p2n2/1p6/2pP4/2N1PN2/PP3PPP/R1BQKB1R w KQkq - 0 6",
    "r2qkbnr/ppp2ppp/2np4/4p3/2B1P1b1/5N2/PPPP1PPP/RNBQ1RK1 w kq - 2 5",
    // Middlegames
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 3 9",
    "2rq1rk1/pb1nbppp/1p2pn2/2pp4/2PP4/1PN1PN2/PB2BPPP/2RQ1RK1 w - - 2 11",
    "r2q1rk1/1b2bppp/p2ppn2/1p6/3NP3/1BN1B3/PPP2PPP/R2Q1RK1 w - - 0 12",
    "r1b2rk1/2q1bppp/p2ppn2/1p6/3NP3/1BN1BQ2/PPP2PPP/R4RK1 w - - 4 12",
    "3r1rk1/pp3ppp/2n1bn2/q1bpp3/8/2PP1NP1/PP1NPPBP/R1BQ1RK1 w - - 0 11",
    "r2qr1k1/1p1nbppp/p1pp1n2/4p3/P1B1P1b1/2NP1N1P/1PP2PP1/R1BQR1K1 b - - 0 11",
    "2r2rk1/1bqnbppp/p3pn2/1p6/3N4/P1N1B1P1/1PQ1PPBP/2RR2K1 w - - 4 16",
    "r3r1k1/pp3pbp/1qp3p1/2B5/2BP2b1/Q1n2N2/P4PPP/3R1K1R b - - 0 17",
    // Endgames
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "8/8/4kpp1/3p1b2/p6P/2B5/6P1/6K1 b - - 3 47",
    "8/5pk1/6p1/p2R3p/P6P/5K2/1r3PP1/8 b - - 4 41",
    "8/8/1p1k4/5ppp/PPK1p3/6P1/5P1P/8 b - - 1 37",
    "6k1/5p2/6p1/8/7p/8/6PP/6K1 b - - 0 1",
    "8/3k4/8/8/8/8/3KP3/8 w - - 0 1",
    "8/8/8/8/8/3k4/8/3KQ3 w - - 0 1",
    "8/6pk/1p6/8/PP3p1p/5P2/4KP1q/3Q4 w - - 0 1",
    "4r1k1/1p3pp1/p1p4p/3n4/3P4/1P3N1P/P4PP1/2R3K1 w - - 0 27",
    "8/1p4pk/p1p4p/3p4/3P4/P1P3PP/1P3K2/3R4 b - - 0 1",
};

}  // namespace

const std::span<const char* const> benchPositions = positions;

BenchResult benchSearch(const char* fen, int depth, TranspositionTable& table, int multiPV) {
  BenchResult result;
  Position pos;
  if (!setFromFen(pos, fen)) return result;
  // A clock that never runs out: the search ends at the depth.
  SearchLimits limits;
  limits.moveTime = 1 << 30;
  limits.moveOverhead = 0;
  limits.depth = depth;
  limits.multiPV = multiPV;
  Stopwatch watch;
  MoveTimer timer(watch);
  timer.start(limits, pos.sideToMove, nullptr);
  table.clear();
  // A fresh searcher: no killers, counters or cached structures carried over.
  Searcher searcher(0, &table, &timer, nullptr);
  searcher.limits = limits;
  result.valid = true;
  result.best = searcher.iterate(pos);
  result.score = searcher.bestScore;
  result.nodes = searcher.nodes.get();
  return result;
}

}  // namespace varnu
