#include "search/transposition_table.h"

#include <cstdlib>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace varnu {

namespace {

#ifdef __linux__
// Probes land anywhere in the table, so with small pages nearly every one also misses the
// processor's address-translation cache. Linux maps 2 MB pages where a region asks for them:
// the table is mapped on a 2 MB boundary and asks. Pages are still zeroed and mapped lazily.
constexpr size_t HugePageBytes = size_t(2) << 20;

void* allocateZeroed(size_t bytes) {
  void* memory = mmap(nullptr, bytes + HugePageBytes, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return memory == MAP_FAILED ? nullptr : memory;
}

void release(void* memory, size_t bytes) {
  if (memory) munmap(memory, bytes + HugePageBytes);
}

uint64_t* alignTable(void* memory, size_t bytes) {
  const uintptr_t start =
      (reinterpret_cast<uintptr_t>(memory) + HugePageBytes - 1) & ~uintptr_t(HugePageBytes - 1);
  madvise(reinterpret_cast<void*>(start), bytes, MADV_HUGEPAGE);  // only a request
  return reinterpret_cast<uint64_t*>(start);
}
#else
// calloc hands out zeroed pages lazily; the extra line lets the table start on a cache line.
void* allocateZeroed(size_t bytes) { return std::calloc(bytes + 64, 1); }

void release(void* memory, size_t) { std::free(memory); }

uint64_t* alignTable(void* memory, size_t) {
  return reinterpret_cast<uint64_t*>((reinterpret_cast<uintptr_t>(memory) + 63) & ~uintptr_t(63));
}
#endif

uint64_t load(const uint64_t& word) {
  return std::atomic_ref<const uint64_t>(word).load(std::memory_order_relaxed);
}

void storeWord(uint64_t& word, uint64_t value) {
  std::atomic_ref<uint64_t>(word).store(value, std::memory_order_relaxed);
}

}  // namespace

TranspositionTable::~TranspositionTable() { release(memory_, size_t(entryCount_) * 16); }

bool TranspositionTable::resize(uint32_t megabytes, Output& out) {
  const uint32_t m = megabytes > MaxMegabytes ? MaxMegabytes : megabytes;
  out.printf("# new size of TT hash: %u MB\n", m);
  uint64_t n = 4;
  while ((n * 2) * 16 <= uint64_t(m) * 1048576) n *= 2;
  // A table of the same size is emptied in place: its pages are already mapped, and a fresh
  // allocation would make the next search take a page fault every 256 entries, in every worker
  // at once. Only up to the default size, though: writing every entry of a larger table maps all
  // of it, gigabytes perhaps, where the searches to come may touch a small part.
  if (words_ && n == entryCount_ && n * 16 <= uint64_t(ClearInPlaceMegabytes) * 1048576) {
    clear();
    return true;
  }
  void* memory = allocateZeroed(size_t(n) * 16);
  if (!memory) {
    out.printf("# cannot allocate %u MB for the TT hash, keeping %u entries\n", m, entryCount_);
    return false;
  }
  release(memory_, size_t(entryCount_) * 16);
  memory_ = memory;
  words_ = alignTable(memory, size_t(n) * 16);
  entryCount_ = uint32_t(n);
  bucketMask_ = entryCount_ / 4 - 1;
  resetFilledCount();
  return true;
}

void TranspositionTable::clear() {
  for (uint64_t i = 0; i < 2 * uint64_t(entryCount_); ++i) storeWord(words_[i], 0);
  resetFilledCount();
}

void TranspositionTable::resetFilledCount() {
  for (FillCounter& c : filled_) c.value.store(0, std::memory_order_relaxed);
}

uint32_t TranspositionTable::filledCount() const {
  uint32_t n = 0;
  for (const FillCounter& c : filled_) n += c.value.load(std::memory_order_relaxed);
  return n;
}

uint64_t TranspositionTable::pack(Move move, int score, int bound, int depth, int age) {
  return uint64_t(move) | uint64_t(uint16_t(int16_t(score))) << 16 |
         uint64_t(uint8_t(bound)) << 32 | uint64_t(uint8_t(depth)) << 40 |
         uint64_t(uint8_t(age)) << 48;
}

TTEntry TranspositionTable::decode(uint32_t i) const {
  const uint64_t data = load(words_[2 * i + 1]);
  TTEntry e;
  e.key = load(words_[2 * i]) ^ data;
  e.move = Move(data);
  e.score = int16_t(uint16_t(data >> 16));
  e.bound = uint8_t(data >> 32);
  e.depth = uint8_t(data >> 40);
  e.age = uint8_t(data >> 48);
  return e;
}

void TranspositionTable::write(uint32_t i, const TTEntry& e) {
  const uint64_t data = pack(e.move, e.score, e.bound, e.depth, e.age);
  storeWord(words_[2 * i], e.key ^ data);
  storeWord(words_[2 * i + 1], data);
}

TTEntry TranspositionTable::entry(uint32_t i) const { return decode(i); }

ProbeResult TranspositionTable::probe(const Position& pos, int alpha, int beta, int ply,
                                      int depth) const {
  ProbeResult r;
  if (!entryCount_) return r;
  const uint64_t key = pos.key();
  const uint32_t first = 4 * (uint32_t(key) & bucketMask_);
  for (uint32_t i = first; i < first + 4; ++i) {
    const TTEntry e = decode(i);
    if (e.key != key) continue;
    r.found = true;
    r.move = e.move;
    if (e.depth < unsigned(depth)) return r;
    int s = e.score;
    if (s > MateThreshold)
      s -= ply;
    else if (s < -MateThreshold)
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
  if (score > MateThreshold)
    stored = score + ply;
  else if (score < -MateThreshold)
    stored = score - ply;

  const uint64_t key = pos.key();
  const uint32_t first = 4 * (uint32_t(key) & bucketMask_);
  uint32_t slot = first + 4;
  for (uint32_t i = first; i < first + 4; ++i) {
    if (decode(i).key == key) {
      slot = i;
      break;
    }
  }
  if (slot == first + 4) {
    // Replacement: the first empty entry, otherwise the one with the lowest priority, where
    // deep and recent entries rank high; ties keep the lowest slot.
    int bestPriority = 0;
    for (uint32_t i = first; i < first + 4; ++i) {
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
