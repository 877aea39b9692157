#include "search/transposition_table.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/memory.h"

namespace varnu {

namespace {

// Tables are cleared in slices of this size, one per thread: a slice starts on a large-page
// boundary, so no two threads fault the same page in.
constexpr size_t SliceGrain = size_t(2) << 20;

}  // namespace

TranspositionTable::~TranspositionTable() { releaseTableMemory(memory_); }

bool TranspositionTable::resize(uint32_t megabytes, unsigned threads) {
  const uint32_t m = cappedMegabytes(megabytes);
  uint64_t n = 4;
  while ((n * 2) * 16 <= uint64_t(m) * 1048576) n *= 2;
  // A table of the same size is emptied in place: its pages are mapped already.
  if (words_ && n == entryCount_) {
    clear(threads);
    return true;
  }
  // A 32-bit address space (WebAssembly's) cannot even count the bytes of the largest sizes.
  const bool addressable = n * 16 <= uint64_t(SIZE_MAX / 2);
  const size_t bytes = size_t(n) * 16;
  if (!addressable || bytes + SliceGrain > availableMemory()) return false;
  TableMemory memory = allocateTableMemory(bytes);
  if (!memory.allocation) return false;
  releaseTableMemory(memory_);
  memory_ = memory;
  words_ = reinterpret_cast<uint64_t*>(memory.table);
  entryCount_ = n;
  bucketMask_ = uint32_t(n / 4 - 1);
  generation_ = 0;
  writeAll(threads, FreshMemoryIsZero);
  return true;
}

// A new generation empties the table at once: entries of the earlier ones read as empty. Only
// when the generations run out is the memory zeroed, and the count starts again.
void TranspositionTable::clear(unsigned threads) {
  if (generation_ < MaxGeneration) {
    ++generation_;
    resetFilledCount();
    return;
  }
  generation_ = 0;
  writeAll(threads, false);
}

// A fresh mapping is zero already, but its pages would be mapped one fault at a time by the
// search's first probes, inside a move's time: a write to each of its pages maps them all now
// (and costs the system's zeroing alone, not a second pass). A used table is zeroed in full.
void TranspositionTable::writeAll(unsigned threads, bool zeroAlready) {
  const size_t bytes = size_t(entryCount_) * 16;
  const size_t grains = (bytes + SliceGrain - 1) / SliceGrain;
  const size_t parts = std::max<size_t>(1, std::min<size_t>(threads, grains));
  const size_t slice = (grains + parts - 1) / parts * SliceGrain;
  char* const base = reinterpret_cast<char*>(words_);
  const auto wipe = [=](size_t part) {
    const size_t begin = std::min(bytes, part * slice), end = std::min(bytes, begin + slice);
    if (!zeroAlready) {
      zeroUsedMemory(base + begin, end - begin);
      return;
    }
    constexpr size_t SmallPageBytes = 4096;
    for (size_t at = begin; at < end; at += SmallPageBytes)
      *reinterpret_cast<volatile char*>(base + at) = 0;
  };
  std::vector<std::thread> helpers;
  for (size_t part = 1; part < parts; ++part) {
    try {
      helpers.emplace_back(wipe, part);
    } catch (const std::system_error&) {
      wipe(part);  // no thread to be had: this one does the slice
    }
  }
  wipe(0);
  for (std::thread& helper : helpers) helper.join();
  resetFilledCount();
}

void TranspositionTable::resetFilledCount() {
  for (FillCounter& c : filled_) c.value.store(0, std::memory_order_relaxed);
}

// Two workers that fill the same empty entry at once both count it, so the sum can pass the
// table's size; the table is never more than full.
uint64_t TranspositionTable::filledCount() const {
  uint64_t n = 0;
  for (const FillCounter& c : filled_) n += c.value.load(std::memory_order_relaxed);
  return std::min(n, entryCount_);
}

uint64_t TranspositionTable::pack(Move move, int score, int bound, int depth, int age) const {
  return uint64_t(move) | uint64_t(uint16_t(int16_t(score))) << 16 |
         uint64_t(uint8_t(bound)) << 32 | uint64_t(uint8_t(depth)) << 40 |
         uint64_t(uint8_t(age)) << 48 | uint64_t(generation_) << 56;
}

TTEntry TranspositionTable::decode(uint64_t i) const {
  const uint64_t data = relaxedLoad(words_[2 * i + 1]);
  TTEntry e;
  if (data >> 56 != generation_) return e;  // left by an earlier generation: empty
  e.key = relaxedLoad(words_[2 * i]) ^ data;
  e.move = Move(data);
  e.score = int16_t(uint16_t(data >> 16));
  e.bound = uint8_t(data >> 32);
  e.depth = uint8_t(data >> 40);
  e.age = uint8_t(data >> 48);
  return e;
}

void TranspositionTable::write(uint64_t i, const TTEntry& e) {
  const uint64_t data = pack(e.move, e.score, e.bound, e.depth, e.age);
  relaxedStore(words_[2 * i], e.key ^ data);
  relaxedStore(words_[2 * i + 1], data);
}

TTEntry TranspositionTable::entry(uint64_t i) const { return decode(i); }

ProbeResult TranspositionTable::probe(const Position& pos, int alpha, int beta, int ply,
                                      int depth) const {
  ProbeResult r;
  if (!entryCount_) return r;
  const uint64_t key = pos.key();
  const uint64_t first = 4 * uint64_t(uint32_t(key) & bucketMask_);
  for (uint64_t i = first; i < first + 4; ++i) {
    const TTEntry e = decode(i);
    if (e.key != key) continue;
    r.found = true;
    r.move = e.move;
    if (e.depth < unsigned(depth)) return r;
    int s = e.score;
    if (s > DistanceThreshold)
      s -= ply;
    else if (s < -DistanceThreshold)
      s += ply;
    if (e.bound == BoundExact || (e.bound == BoundLower && s >= beta) ||
        (e.bound == BoundUpper && s <= alpha)) {
      r.cutoff = true;
      r.score = s;
    }
    return r;
  }
  return r;
}

void TranspositionTable::store(const Position& pos, int score, int ply, int lowerLimit,
                               int upperLimit, int alpha, int beta, int depth, Move move,
                               int writer) {
  if (!entryCount_) return;
  uint8_t bound = BoundExact;
  if (score >= beta && score < upperLimit)
    bound = BoundLower;
  else if (score <= alpha && score > lowerLimit)
    bound = BoundUpper;
  int stored = score;
  if (score > DistanceThreshold)
    stored = score + ply;
  else if (score < -DistanceThreshold)
    stored = score - ply;

  const uint64_t key = pos.key();
  const uint64_t first = 4 * uint64_t(uint32_t(key) & bucketMask_);
  uint64_t slot = first + 4;
  for (uint64_t i = first; i < first + 4; ++i) {
    if (decode(i).key == key) {
      slot = i;
      break;
    }
  }
  if (slot == first + 4) {
    // Replacement: the first empty entry, otherwise the one with the lowest priority, where
    // deep and recent entries rank high; ties keep the lowest slot.
    int bestPriority = 0;
    for (uint64_t i = first; i < first + 4; ++i) {
      const TTEntry e = decode(i);
      if (e.key == 0) {
        slot = i;
        break;
      }
      const int priority = (e.depth + 1) * 256 - e.age;
      if (i == first || priority < bestPriority) {
        slot = i;
        bestPriority = priority;
      }
    }
  }
  if (decode(slot).key == 0)
    filled_[unsigned(writer) % FillCounters].value.fetch_add(1, std::memory_order_relaxed);
  TTEntry e;
  e.key = key;
  e.move = move;
  e.score = int16_t(stored);
  e.bound = bound;
  e.depth = uint8_t(depth);
  e.age = uint8_t(pos.historyCount - ply);
  write(slot, e);
}

}  // namespace varnu
