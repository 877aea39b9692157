// The transposition table shared by every search thread without a lock. Each 16-byte entry is
// two 64-bit words read and written atomically: the data word, and the key XORed with the data
// word. A reader recomputes the key from both words, so an entry torn by two concurrent writers
// reads as a miss, never as a wrong hit. The data word's top byte holds the generation the entry
// was written in: clearing the table starts a new generation instead of writing every entry.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/position.h"
#include "platform/memory.h"

namespace varnu {

enum Bound : uint8_t { BoundNone = 0, BoundExact = 1, BoundLower = 2, BoundUpper = 3 };

// What one entry holds once decoded.
struct TTEntry {
  uint64_t key = 0;
  Move move = NullMove;
  int16_t score = 0;
  uint8_t bound = BoundNone;
  uint8_t depth = 0;
  uint8_t age = 0;
};

struct ProbeResult {
  bool found = false;
  bool cutoff = false;
  int score = 0;
  Move move = NullMove;
};

class TranspositionTable {
 public:
  static constexpr uint32_t MaxMegabytes = 65536;

  TranspositionTable() = default;
  ~TranspositionTable();
  TranspositionTable(const TranspositionTable&) = delete;
  TranspositionTable& operator=(const TranspositionTable&) = delete;

  // The size resize makes of megabytes: at most MaxMegabytes.
  static uint32_t cappedMegabytes(uint32_t megabytes) {
    return megabytes > MaxMegabytes ? MaxMegabytes : megabytes;
  }

  // Makes an empty table of the largest power-of-two entry count that fits the megabytes (at
  // most 65536): a table of that size already is emptied in place, any other is allocated anew.
  // Either way every entry is written before it returns, by this many threads, so that no search
  // takes the page faults of a fresh mapping. Must not run while a search uses the table. When the
  // memory cannot be had, or is more than the system has free, the previous table stays and the
  // result is false.
  bool resize(uint32_t megabytes, unsigned threads = 1);

  // Empties every entry, keeping the size: at once by a new generation, and once in 256 clears
  // by zeroing the memory, the threads each writing a slice of it.
  void clear(unsigned threads = 1);

  // Looks the position up for a node with this window, ply and remaining depth.
  ProbeResult probe(const Position& pos, int alpha, int beta, int ply, int depth) const;

  // Starts loading the bucket of the key into the cache, so that a probe soon after finds it
  // there instead of waiting for memory.
  void prefetch(uint64_t key) const {
    if (entryCount_) __builtin_prefetch(&words_[2 * 4 * uint64_t(uint32_t(key) & bucketMask_)]);
  }

  // Stores a node's result; the bound follows from the score, the window and the node's mate
  // limits. Mates and the endgame tables' wins are stored as distances from this node. The
  // writer (the worker's number) picks the counter that counts the entries it fills.
  void store(const Position& pos, int score, int ply, int lowerLimit, int upperLimit, int alpha,
             int beta, int depth, Move move, int writer = 0);

  // Share of entries filled since the last resize, in percent.
  double hashFullPercent() const { return entryCount_ ? filledCount() * 100.0 / entryCount_ : 0.0; }
  uint64_t entryCount() const { return entryCount_; }
  uint64_t filledCount() const;
  // The table's size in megabytes (0 without a table).
  uint32_t megabytes() const { return uint32_t(entryCount_ * 16 >> 20); }
  // How many of its megabytes lie in large pages (see TableMemory), as the system tells it.
  uint32_t largePageMegabytes() const { return uint32_t(largePageBytes(memory_) >> 20); }

  // Reads entry i of the table (for tests and diagnostics).
  TTEntry entry(uint64_t i) const;

 private:
  uint64_t pack(Move move, int score, int bound, int depth, int age) const;
  TTEntry decode(uint64_t i) const;
  void write(uint64_t i, const TTEntry& e);

  // Generations of entries before the memory is zeroed again; an entry's byte holds it.
  static constexpr uint8_t MaxGeneration = 255;

  // Writes the table in slices, one per thread: zeros throughout, or where the memory reads as
  // zeros already, one byte in each page.
  void writeAll(unsigned threads, bool zeroAlready);
  void resetFilledCount();

  // Filled entries are counted per writer, each count on a cache line of its own: one counter
  // that every worker increments would pass its line between the cores at every new entry.
  // Workers beyond the count share counters, two or more to a line: enough for 64 threads.
  static constexpr int FillCounters = 64;
  struct alignas(64) FillCounter {
    std::atomic<uint64_t> value{0};
  };

  TableMemory memory_;
  uint64_t* words_ = nullptr;  // two words per entry, in memory_, aligned to a cache line
  uint32_t bucketMask_ = 0;
  uint64_t entryCount_ = 0;  // up to 2^32 entries in a 64 GB table
  // Entries of other generations read as empty; zeroed memory is generation 0's empty table.
  // Changed only while no search uses the table.
  uint8_t generation_ = 0;
  FillCounter filled_[FillCounters];
};

}  // namespace varnu
