// Move-tree leaf counting: perft, divide and the built-in self-test suite.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "board/position.h"

namespace varnu {

// Caches leaf counts of interior nodes by key and depth, in buckets of four entries.
class PerftHashTable {
 public:
  struct Entry {
    uint64_t count;
    uint16_t depth;
    uint16_t keyLow;   // bits 0-15 of the key
    uint32_t keyHigh;  // bits 16-47 of the key
  };

  // Allocates the largest power-of-two number of entries that fits the megabytes, zero-filled.
  explicit PerftHashTable(uint32_t megabytes);

  const Entry* probe(uint64_t key) const;
  void store(uint64_t key, uint64_t count, int depth);
  void clear();
  double fillPercent() const { return entryCount_ ? filledCount_ * 100.0 / entryCount_ : 0.0; }
  uint32_t entryCount() const { return entryCount_; }
  uint32_t filledCount() const { return filledCount_; }

 private:
  static bool matches(const Entry& e, uint64_t key) {
    return e.keyLow == uint16_t(key) && e.keyHigh == uint32_t(key >> 16);
  }
  static bool isEmpty(const Entry& e) { return e.keyLow == 0 && e.keyHigh == 0; }
  Entry* bucket(uint64_t key) const { return &entries_[4 * (uint32_t(key) & bucketMask_)]; }

  std::unique_ptr<Entry[]> entries_;
  uint32_t bucketMask_ = 0;
  uint32_t entryCount_ = 0;
  uint32_t filledCount_ = 0;
};

inline constexpr uint32_t PerftHashMegabytes = 64;

// Deepest perft or divide the perft key stack allows from its current index.
int maxPerftDepth(const Position& pos);

// Leaves of the legal move tree to the depth (at least 1); counter counts the calls.
uint64_t perft(Position& pos, PerftHashTable& table, int depth, uint64_t& counter);

// The count below each root move, as divide finds it.
using RootMoveCount = std::function<void(Move move, uint64_t leaves)>;

// Like perft, telling each root move's count in generation order.
uint64_t divide(Position& pos, PerftHashTable& table, int depth, uint64_t& counter,
                const RootMoveCount& eachMove);

// The figures of a count from a position.
struct PerftTotals {
  uint64_t leaves = 0;
  uint64_t nodes = 0;  // the calls
  int32_t time = 0;    // centiseconds, as the caller timed it
  double fillPercent = 0;
};

// The developer commands' count from the position: perft, or divide when eachMove is given. The
// table is emptied first. The depth must be between 1 and maxPerftDepth(pos).
PerftTotals countLeaves(Position& pos, PerftHashTable& table, int depth,
                        const RootMoveCount* eachMove);

// The totals as both protocols show them, each line after the prefix: "Total leaves: <n>",
// "Total nodes:  <n>", "Time elapsed: <s.cc> s", "Nodes/second: <n>".
std::string perftTotalsText(const PerftTotals& totals, std::string_view prefix);

// One case of the self-test: its number, whether its FEN was read, the leaves counted against
// those expected, the nodes, and the centiseconds it took.
struct SelfTestResult {
  int number = 0;
  bool fenRead = true;
  uint64_t leaves = 0;
  uint64_t expected = 0;
  uint64_t nodes = 0;
  int32_t time = 0;
  bool passed() const { return fenRead && leaves == expected; }
};

struct SelfTestTotals {
  int passed = 0;
  int failed = 0;
  uint64_t leaves = 0;
  uint64_t nodes = 0;
  int32_t time = 0;
};

// Runs the 18 self-test positions on pos, which keeps the last test position, emptying the table
// before each and telling each case's result as it is known.
SelfTestTotals runSelfTest(Position& pos, PerftHashTable& table,
                           const std::function<void(const SelfTestResult&)>& eachCase);

// Leaves or calls per second from a count and centiseconds; 0 before the first centisecond.
inline uint64_t perSecond(uint64_t count, int32_t centiseconds) {
  return centiseconds > 0 ? count * 100 / uint64_t(centiseconds) : 0;
}

}  // namespace varnu
