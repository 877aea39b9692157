#include <gtest/gtest.h>

#include "board/fen.h"
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

TEST(Perft, CommandsReportTheirFigures) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, StartFen));
  std::unique_ptr<PerftHashTable> table;
  Stopwatch watch;
  Output out;
  divideCommand(pos, table, 2, watch, out);
  const std::string text = out.captured();
  EXPECT_EQ(text.rfind("# new size of Perft hash: 64 MB\nb1a3 20\nb1c3 20\n", 0), 0u) << text;
  EXPECT_NE(text.find("h2h4 20\nTotal leaves: 400\nTotal nodes:  21\nTime elapsed: "),
            std::string::npos)
      << text;
  out.clearCaptured();
  perftCommand(pos, table, 2, watch, out);
  EXPECT_EQ(out.captured().rfind("# Total leaves: 400\n# Total nodes:  21\n# Time elapsed: ", 0),
            0u);
}

TEST(Perft, DepthIsBoundByTheKeyStack) {
  Position pos;
  EXPECT_EQ(maxPerftDepth(pos), 63);
}

}  // namespace
}  // namespace varnu
