#include "search/transposition_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace varnu {
namespace {

// A position that carries only a key, which is all the table looks at.
Position withKey(uint64_t key, int historyCount = 0) {
  Position pos;
  pos.historyCount = historyCount;
  pos.history[historyCount].key = key;
  return pos;
}

class TTTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(table.resize(1)); }
  TranspositionTable table;
};

TEST_F(TTTest, FreshTableMissesAndCountsFirstStores) {
  EXPECT_EQ(table.entryCount(), 65536u);
  const Position a = withKey(0x1111222233334444ull), b = withKey(0x5555666677778888ull);
  EXPECT_FALSE(table.probe(a, -100, 100, 0, 1).found);
  table.store(a, 10, 0, -MateScore, MateScore, -100, 100, 3, 77);
  EXPECT_EQ(table.filledCount(), 1u);
  table.store(a, 12, 0, -MateScore, MateScore, -100, 100, 3, 78);
  EXPECT_EQ(table.filledCount(), 1u);
  table.store(b, 12, 0, -MateScore, MateScore, -100, 100, 3, 78);
  EXPECT_EQ(table.filledCount(), 2u);
  EXPECT_DOUBLE_EQ(table.hashFullPercent(), 2 * 100.0 / 65536);
  const ProbeResult r = table.probe(a, -100, 100, 0, 3);
  EXPECT_TRUE(r.found);
  EXPECT_TRUE(r.cutoff);
  EXPECT_EQ(r.score, 12);
  EXPECT_EQ(r.move, 78);
}

TEST_F(TTTest, MateScoresAreStoredAsDistanceFromTheNode) {
  const Position pos = withKey(0xABCDEF0123456789ull, 5);
  table.store(pos, 31992, 5, -MateScore, MateScore, -100, 100, 4, 0);
  const uint32_t bucket = 4 * (uint32_t(pos.key()) & (table.entryCount() / 4 - 1));
  EXPECT_EQ(table.entry(bucket).score, 31997);
  EXPECT_EQ(table.entry(bucket).age, 0);  // historyCount 5 at ply 5: the root's stamp
  EXPECT_EQ(table.probe(pos, -100, 100, 1, 4).score, 31996);
  table.store(pos, -31990, 2, -MateScore, MateScore, -100, 100, 4, 0);
  EXPECT_EQ(table.entry(bucket).score, -31992);
  EXPECT_EQ(table.probe(pos, -100, 100, 6, 4).score, -31986);
}

TEST_F(TTTest, BoundsFromTheWindow) {
  const Position pos = withKey(0x0F0F0F0F12345678ull);
  const uint32_t bucket = 4 * (uint32_t(pos.key()) & (table.entryCount() / 4 - 1));
  struct Case {
    int score, lower, upper, alpha, beta;
    uint8_t bound;
  };
  const Case cases[] = {
      {150, -MateScore, MateScore, 50, 100, BoundLower},
      {20, -MateScore, MateScore, 50, 100, BoundUpper},
      {70, -MateScore, MateScore, 50, 100, BoundExact},
      {31990, -31998, 31990, 50, 100, BoundExact},   // at the mate limit: exact
      {-31990, -31990, 31990, 50, 100, BoundExact},  // at the lower limit: exact
  };
  for (const Case& c : cases) {
    table.store(pos, c.score, 0, c.lower, c.upper, c.alpha, c.beta, 2, 0);
    EXPECT_EQ(table.entry(bucket).bound, c.bound) << c.score;
  }
}

TEST_F(TTTest, ShallowEntryGivesItsMoveButNoCutoff) {
  const Position pos = withKey(0x7777000011112222ull);
  table.store(pos, 50, 0, -MateScore, MateScore, 60, 100, 7, 1234);  // fails low: upper bound
  ProbeResult r = table.probe(pos, 60, 100, 0, 8);
  EXPECT_TRUE(r.found);
  EXPECT_FALSE(r.cutoff);
  EXPECT_EQ(r.move, 1234);
  r = table.probe(pos, 50, 100, 0, 7);
  EXPECT_TRUE(r.cutoff);
  EXPECT_EQ(r.score, 50);
  r = table.probe(pos, 40, 100, 0, 7);  // alpha below the bound: no cutoff
  EXPECT_FALSE(r.cutoff);
}

TEST_F(TTTest, ReplacesTheFirstOfTheShallowest) {
  const uint32_t mask = table.entryCount() / 4 - 1;
  const uint64_t low = 0x00000042;  // every key below lands in the same bucket
  const int depths[] = {3, 1, 1, 5};
  for (int i = 0; i < 4; ++i)
    table.store(withKey(low | uint64_t(i + 1) << 32), 0, 0, -MateScore, MateScore, -1, 1, depths[i],
                0);
  const Position newcomer = withKey(low | uint64_t(99) << 32);
  table.store(newcomer, 0, 0, -MateScore, MateScore, -1, 1, 2, 0);
  const uint32_t bucket = 4 * (uint32_t(low) & mask);
  EXPECT_EQ(table.entry(bucket + 1).key, newcomer.key());
  EXPECT_EQ(table.entry(bucket + 2).key, low | uint64_t(3) << 32);
  // At equal depth the priority falls with the age stamp, (depth + 1) * 256 - age, so the
  // entry with the larger stamp is the one replaced.
  const Position old = withKey(low | uint64_t(50) << 32, 0);
  const Position recent = withKey(low | uint64_t(51) << 32, 9);
  table.resize(1);
  for (int i = 0; i < 3; ++i)
    table.store(withKey(low | uint64_t(i + 1) << 32, 9), 0, 0, -MateScore, MateScore, -1, 1, 4, 0);
  table.store(old, 0, 0, -MateScore, MateScore, -1, 1, 4, 0);
  table.store(recent, 0, 0, -MateScore, MateScore, -1, 1, 4, 0);
  EXPECT_EQ(table.entry(bucket).key, recent.key());
  EXPECT_EQ(table.entry(bucket + 3).key, old.key());
}

TEST(TranspositionTable, Sizes) {
  TranspositionTable table;
  EXPECT_FALSE(table.probe(withKey(5), -1, 1, 0, 1).found);  // no table yet: a miss
  table.resize(100);
  EXPECT_EQ(table.entryCount(), 4194304u);
  table.resize(3);
  EXPECT_EQ(table.entryCount(), 131072u);
}

// Clearing splits the table into 2 MB slices over the threads; slices that do not divide the
// table evenly, or a table smaller than a slice, must still leave no entry behind.
TEST(TranspositionTable, ConcurrentClearEmptiesEveryEntry) {
  TranspositionTable table;
  const struct {
    uint32_t megabytes;
    unsigned threads;
  } cases[] = {{1, 3}, {8, 3}, {8, 1}};
  for (const auto& c : cases) {
    ASSERT_TRUE(table.resize(c.megabytes, c.threads));
    std::vector<uint64_t> stored;
    Position pos = withKey(0);
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (int i = 0; i < 4000; ++i) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      stored.push_back(x);
      pos.history[0].key = x;
      table.store(pos, 1, 0, -MateScore, MateScore, -1, 1, 3, 77);
    }
    // The same size is emptied in place; further clears run through every generation of the
    // entries and back to the first, which the threads' zeroing must leave empty too.
    ASSERT_TRUE(table.resize(c.megabytes, c.threads));
    for (int clears = 1; clears <= 256; ++clears) {
      EXPECT_EQ(table.filledCount(), 0u);
      int found = 0;
      for (const uint64_t key : stored) {
        pos.history[0].key = key;
        found += table.probe(pos, -1, 1, 0, 0).found;
      }
      ASSERT_EQ(found, 0) << c.megabytes << " MB, " << c.threads << " threads, " << clears
                          << " clears";
      table.clear(c.threads);
    }
  }
}

// Writers store entries whose data derive from the key; readers that hit must see data that
// belongs to the key, never a mix of two writes.
TEST(TranspositionTable, ConcurrentAccessNeverGivesAWrongHit) {
  TranspositionTable table;
  table.resize(1);
  std::atomic<bool> wrong{false};
  auto worker = [&](uint64_t seed) {
    uint64_t x = seed;
    for (int i = 0; i < 60000; ++i) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      const uint64_t key = (x & 0xFFFF000000000000ull) | 0x42;  // few buckets, many keys
      const Position pos = withKey(key);
      const int score = int((key >> 48) & 0x3FFF);
      if (i % 2) {
        table.store(pos, score, 0, -MateScore, MateScore, -20000, 20000, 3, Move(key >> 48));
      } else {
        const ProbeResult r = table.probe(pos, -20000, 20000, 0, 1);
        if (r.found && (r.move != Move(key >> 48) || r.score != score)) wrong = true;
      }
    }
  };
  std::thread a(worker, 0x9E3779B97F4A7C15ull), b(worker, 0xD1B54A32D192ED03ull);
  worker(0x94D049BB133111EBull);
  a.join();
  b.join();
  EXPECT_FALSE(wrong.load());
}

}  // namespace
}  // namespace varnu
