#include <gtest/gtest.h>

#include "board/fen.h"
#include "board/move.h"
#include "board/perft.h"

namespace varnu {
namespace {

struct PerftCase {
  const char* fen;
  int depth;
  uint64_t leaves;
};

TEST(Perft, KnownCounts) {
  // Start position, the castling-rich "Kiwipete", en passant and promotion-heavy positions.
  const PerftCase cases[] = {
      {StartFen.data(), 4, 197281},
      {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 3, 97862},
      {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 5, 674624},
      {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 4, 422333},
      {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 3, 62379},
      {"r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", 3, 89890},
  };
  PerftHashTable table(1);
  for (const PerftCase& c : cases) {
    Position pos;
    ASSERT_TRUE(setFromFen(pos, c.fen));
    table.clear();
    uint64_t counter = 0;
    EXPECT_EQ(perft(pos, table, c.depth, counter), c.leaves) << c.fen;
    EXPECT_EQ(pos.key(), pos.computeKey());
  }
}

// Chess960 counts, each equal to a reference engine's in its Chess960 mode. Every position is
// also written as X-FEN and read back to the same position.
TEST(Perft, Chess960Counts) {
  const PerftCase cases[] = {
      // Start positions, 518 (the standard one, in Shredder-FEN) among them.
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w HAha - 0 1", 5, 4865609},
      {"bbqnnrkr/pppppppp/8/8/8/8/PPPPPPPP/BBQNNRKR w HFhf - 0 1", 5, 4975808},
      {"rkrnnqbb/pppppppp/8/8/8/8/PPPPPPPP/RKRNNQBB w CAca - 0 1", 5, 4973573},
      {"nnqbrkbr/pppppppp/8/8/8/8/PPPPPPPP/NNQBRKBR w HEhe - 0 1", 5, 3899268},
      {"bnrbnkrq/pppppppp/8/8/8/8/PPPPPPPP/BNRBNKRQ w GCgc - 0 1", 5, 5863166},
      {"qnrkbbrn/pppppppp/8/8/8/8/PPPPPPPP/QNRKBBRN w GCgc - 0 1", 5, 4801330},
      {"qbbrnnkr/pppppppp/8/8/8/8/PPPPPPPP/QBBRNNKR w HDhd - 0 1", 5, 4975496},
      {"qrnbnkbr/pppppppp/8/8/8/8/PPPPPPPP/QRNBNKBR w HBhb - 0 1", 5, 4877156},
      {"rnkqbbnr/pppppppp/8/8/8/8/PPPPPPPP/RNKQBBNR w HAha - 0 1", 5, 4930024},
      {"rbbnknrq/pppppppp/8/8/8/8/PPPPPPPP/RBBNKNRQ w GAga - 0 1", 5, 5054554},
      {"rbknqnbr/pppppppp/8/8/8/8/PPPPPPPP/RBKNQNBR w HAha - 0 1", 5, 5089230},
      {"rbqkbnrn/pppppppp/8/8/8/8/PPPPPPPP/RBQKBNRN w GAga - 0 1", 5, 3974144},
      {"rknbbrqn/pppppppp/8/8/8/8/PPPPPPPP/RKNBBRQN w FAfa - 0 1", 5, 3988967},
      {"bbqrkrnn/pppppppp/8/8/8/8/PPPPPPPP/BBQRKRNN w FDfd - 0 1", 5, 3922345},
      {"rkqrnbbn/pppppppp/8/8/8/8/PPPPPPPP/RKQRNBBN w DAda - 0 1", 5, 3956472},
      {"rkrbqnbn/pppppppp/8/8/8/8/PPPPPPPP/RKRBQNBN w CAca - 0 1", 5, 3904382},
      {"rkrnbbqn/pppppppp/8/8/8/8/PPPPPPPP/RKRNBBQN w CAca - 0 1", 5, 3988261},
      // Middle games reached by random moves, with rights on one or both wings.
      {"rkrnn2b/1pppp1p1/5q1p/p2b1p2/3N2P1/P1P4P/1P1PPP2/RKRNQ1BB w CAca - 5 8", 5, 36111286},
      {"nbrn1kbr/pp3p2/2pp2pp/N3p3/Q2P2P1/4P3/PPP2P1P/1BRN1KBR w HChc - 0 8", 5, 11582435},
      {"nrbkn1r1/1pppp3/5qp1/p3bp1p/2P3PP/4PPR1/PPNP4/1RBKNQ1B w Bgb - 0 8", 5, 32299558},
      {"brkn1nrb/ppp3p1/2q4p/3p1p2/1P6/B3pPN1/P1PPPNPP/R1K1Q1RB w Ggb - 0 8", 5, 16313005},
      {"bn2rkrb/ppp1pp2/3n2p1/3p3p/4P1QP/3N1P2/PqPP2P1/BN1R1KRB w GDg - 1 8", 5, 81531594},
      {"2rb1qkr/p1ppppnp/1p4p1/2nbB3/PP4P1/N7/2PPPP1P/2RBNQKR w HChc - 5 8", 5, 47227682},
      {"r2kbb1r/pp2p1pp/1n5n/2pp3P/5p2/1P1P1P2/P1P1P1Pq/RQNKBBNR w Aha - 0 8", 5, 14738974},
      {"brknqnr1/1p3pbp/p1p3p1/P2pp3/2P5/3P2NP/1P2PPP1/BRKNQ1RB w GBgb - 1 8", 5, 8348631},
      {"r1bk1qrn/p2ppppB/2p5/1p4b1/1P6/n1P1P1N1/P2P1PPP/R1BKNQR1 w GAga - 0 8", 5, 22344112},
      {"2nbkrbq/B1ppppp1/1r6/1p1nN2p/6P1/PP3P2/2PPP2P/NR1BKR1Q w FBf - 1 8", 5, 24690702},
      {"nr2bnk1/pp2pppr/N2pq3/7p/P7/3P4/1PP1PBPP/NRQB2KR w HBb - 1 8", 5, 49304740},
      {"rkb1nnrb/ppp1p1p1/5p2/6qp/2p5/PQ6/1P2PPPP/RKB1NNRB w GAga - 2 8", 5, 51620530},
      {"r1bk1bnQ/1p2p1p1/2pq1p2/p1Np1n2/2P2P2/8/PP1PP1PP/R1BK1BNR w HAa - 1 8", 5, 28720976},
      {"nq1b1rkr/p1ppp2p/1p2b3/5pp1/P3n1BP/1N2P3/1PPP1PPR/1QN1BRK1 w Fhf - 1 8", 5, 22812880},
      {"rnnkqrb1/pppp1p2/4p1pp/8/Pb1P3P/4P1P1/2P2P2/RNNKQRBB b FAfa - 0 7", 5, 21155180},
      {"nqrkb2r/2ppppb1/p4np1/1p5p/P7/1PP1P1P1/2RP1P1P/NQ1KBBNR b Hhc - 0 7", 5, 20297247},
      {"rkbr2qb/1pnppppp/8/p5n1/2pPP3/7P/PPPN1PPQ/RKBRN2B b DAda - 4 7", 5, 10951611},
      {"r1bbnk1r/pqp2pp1/3ppn1p/1p6/B3P2P/P1PP4/1P3PP1/RQB1NKNR b HAha - 0 7", 5, 33270712},
      {"nr2kb1r/p1pq1ppp/bp1ppn2/8/P2P1PP1/1N3N2/1PPBP2P/1R1QKB1R b HBhb - 0 7", 5, 37770031},
      {"qrbknn2/pp1ppprp/2p3p1/8/1P2PPN1/b7/P1PP2PP/QRBKN1RB b GBb - 0 7", 5, 12583006},
      {"qr1kbr1b/1pppp2p/p1n1Q1p1/7n/P1P1P3/6P1/1P1P1P1P/1NRKBRNB b FCf - 0 7", 5, 46160479},
      // Kings and rooks on their targets or beside them, castling out of and into check.
      {"rk4r1/pppppppp/8/8/8/8/PPPPPPPP/1R4KR w HBga - 0 1", 5, 7327430},
      {"1rk4r/pppppppp/8/8/8/8/PPPPPPPP/R4KR1 w GAhb - 0 1", 5, 7419683},
      {"1rk4r/pppppppp/8/8/8/8/PPPPPPPP/R4KR1 b GAhb - 0 1", 5, 7397778},
      {"4k3/8/8/8/3q4/8/8/R2K2R1 w GA - 0 1", 5, 1186133},
      {"r3k2r/pppppppp/8/8/8/4b3/PPP1PPPP/RK5R w HAha - 0 1", 5, 7018439},
      {"4k3/4r3/8/8/8/8/PP3PPP/R1K4R w HA - 0 1", 5, 2087508},
      {"4k3/8/8/8/8/8/8/rRK4R w HB - 0 1", 5, 1412716},
      {"1k6/8/8/8/8/8/PPPPPPPP/RK4R1 w GA - 0 1", 5, 375229},
      {"2r1k2r/pppppppp/8/8/8/8/PPPPPPPP/2R1K2R w HChc - 0 1", 5, 8673019},
      {"4k3/pppppppp/8/8/8/8/PPPPPPPP/1K2R2R w E - 0 1", 5, 4493266},
      {"r1k1r3/8/8/8/8/8/8/R1K1R3 w EAea - 0 1", 5, 6352336},
      {"1r4kr/8/8/8/8/8/8/1R4KR b HBhb - 0 1", 5, 5499831},
      {"4k3/8/8/8/8/8/1b6/R3K1R1 w GA - 0 1", 5, 2576107},
      {"rk2r3/8/8/8/8/8/6q1/RK2R3 w EAea - 0 1", 5, 11083325},
  };
  PerftHashTable table(16);
  for (const PerftCase& c : cases) {
    Position pos;
    ASSERT_TRUE(setFromFen(pos, c.fen, true)) << c.fen;
    table.clear();
    uint64_t counter = 0;
    EXPECT_EQ(perft(pos, table, c.depth, counter), c.leaves) << c.fen;
    EXPECT_EQ(pos.key(), pos.computeKey());
    Position reread;
    ASSERT_TRUE(setFromFen(reread, fenText(pos, 1), true)) << fenText(pos, 1);
    EXPECT_TRUE(reread.castling == pos.castling && reread.key() == pos.key()) << fenText(pos, 1);
  }
}

TEST(Perft, CounterCountsCalls) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, StartFen));
  PerftHashTable table(1);
  uint64_t counter = 0;
  EXPECT_EQ(perft(pos, table, 1, counter), 20u);
  EXPECT_EQ(counter, 1u);
  counter = 0;
  EXPECT_EQ(perft(pos, table, 2, counter), 400u);
  EXPECT_EQ(counter, 21u);
}

TEST(PerftHashTable, SizeStoreAndReplacement) {
  PerftHashTable table(64);
  EXPECT_EQ(table.entryCount(), 4194304u);
  PerftHashTable small(1);
  EXPECT_EQ(small.entryCount(), 65536u);
  // Four keys in one bucket (same low bits), then a fifth replaces the shallowest.
  const uint64_t base = 0x123400000000ull;
  for (int i = 0; i < 4; ++i) small.store(base + (uint64_t(i + 1) << 32), 100 + i, 4 - i);
  EXPECT_EQ(small.filledCount(), 4u);
  small.store(base + (uint64_t(9) << 32), 7, 2);
  EXPECT_EQ(small.filledCount(), 4u);
  EXPECT_EQ(small.probe(base + (uint64_t(4) << 32)), nullptr);  // depth 1 was the shallowest
  ASSERT_NE(small.probe(base + (uint64_t(9) << 32)), nullptr);
  EXPECT_EQ(small.probe(base + (uint64_t(9) << 32))->count, 7u);
  // Storing an existing key overwrites it without filling a new entry.
  small.store(base + (uint64_t(1) << 32), 55, 1);
  EXPECT_EQ(small.probe(base + (uint64_t(1) << 32))->count, 55u);
  EXPECT_EQ(small.filledCount(), 4u);
  small.clear();
  EXPECT_EQ(small.filledCount(), 0u);
  EXPECT_EQ(small.probe(base + (uint64_t(1) << 32)), nullptr);
}

TEST(Perft, CountsReportTheirFigures) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, StartFen));
  PerftHashTable table(1);
  std::string lines;
  const RootMoveCount each = [&](Move m, uint64_t n) {
    lines += moveToText(m) + " " + std::to_string(n) + "\n";
  };
  PerftTotals totals = countLeaves(pos, table, 2, &each);
  EXPECT_EQ(lines.rfind("b1a3 20\nb1c3 20\n", 0), 0u) << lines;
  EXPECT_EQ(lines.size() - lines.rfind("h2h4 20\n"), 8u) << lines;
  totals.time = 150;
  EXPECT_EQ(perftTotalsText(totals, "# "),
            "# Total leaves: 400\n# Total nodes:  21\n# Time elapsed: 1.50 s\n"
            "# Nodes/second: 14\n");
  EXPECT_EQ(countLeaves(pos, table, 2, nullptr).leaves, 400u);
}

TEST(Perft, DepthIsBoundByTheKeyStack) {
  Position pos;
  EXPECT_EQ(maxPerftDepth(pos), 63);
}

}  // namespace
}  // namespace varnu
