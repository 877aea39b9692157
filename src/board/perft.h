// Move-tree leaf counting: perft, divide and the built-in self-test suite.
#pragma once

#include <cstdint>
#include <memory>

#include "board/output.h"
#include "board/position.h"
#include "clock/stopwatch.h"

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
// Like perft, printing the count below each root move in generation order.
uint64_t divide(Position& pos, PerftHashTable& table, int depth, uint64_t& counter, Output& out);

// The developer commands. The table is created on first use (printing its size) and cleared
// before every count. The depth must be between 1 and maxPerftDepth(pos).
void perftCommand(Position& pos, std::unique_ptr<PerftHashTable>& table, int depth,
                  Stopwatch& stopwatch, Output& out);
void divideCommand(Position& pos, std::unique_ptr<PerftHashTable>& table, int depth,
                   Stopwatch& stopwatch, Output& out);
// Runs the 18 self-test positions on pos, which keeps the last test position.
void runSelfTest(Position& pos, std::unique_ptr<PerftHashTable>& table, Output& out);

}  // namespace varnu
