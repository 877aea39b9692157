#include "search/transposition_table.h"

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace varnu {

namespace {

// Tables are cleared in slices of this size, one per thread: a slice starts on a large-page
// boundary, so no two threads fault the same page in.
constexpr size_t SliceGrain = size_t(2) << 20;

#ifdef __linux__
// Probes land anywhere in the table, so with small pages nearly every one also misses the
// processor's address-translation cache. Linux maps 2 MB pages where a region asks for them:
// the table is mapped on a 2 MB boundary and asks.
constexpr size_t HugePageBytes = size_t(2) << 20;

// An anonymous mapping reads as zeros: touching each page is all it needs to be written.
constexpr bool FreshMemoryIsZero = true;

void* allocate(size_t bytes) {
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

// Zeros a used slice of the table. Under ThreadSanitizer a memset of hundreds of megabytes
// rewrites as much shadow memory and takes seconds, which upsets the timed tests: there the
// slice's pages are dropped instead, to be mapped again as zeros by the touch that follows.
// Either way the slice reads as zeros, with its pages mapped, when the clearing returns.
void zeroSlice(char* begin, size_t bytes) {
#if defined(__SANITIZE_THREAD__)
  madvise(begin, bytes, MADV_DONTNEED);
  for (size_t at = 0; at < bytes; at += 4096) *reinterpret_cast<volatile char*>(begin + at) = 0;
#else
  std::memset(begin, 0, bytes);
#endif
}

// The number after the key in a file of "key value" lines (in kB for /proc/meminfo), or in a
// file that holds one number; false when there is none ("max" stands for no limit).
bool readNumber(const std::string& path, const std::string& key, uint64_t& value) {
  std::ifstream file(path);
  std::string word;
  while (file >> word) {
    if (!key.empty() && word != key) continue;
    if (!key.empty() && !(file >> word)) return false;
    if (word.empty() || word.find_first_not_of("0123456789") != std::string::npos) return false;
    value = std::stoull(word);
    return true;
  }
  return false;
}

// Room left under the memory limits of the process's control groups (a container's limit is
// one), from its own group up to the root; no limit found is no cap.
uint64_t controlGroupRoom() {
  uint64_t room = UINT64_MAX;
  std::ifstream groups("/proc/self/cgroup");
  std::string line;
  while (std::getline(groups, line)) {
    // "0::/path" for the unified hierarchy, "N:memory:/path" (controllers may be listed
    // together) for the memory controller of the older one.
    const size_t colon = line.find(':'), second = line.find(':', colon + 1);
    if (colon == std::string::npos || second == std::string::npos) continue;
    const std::string controllers = "," + line.substr(colon + 1, second - colon - 1) + ",";
    const bool unified = controllers == ",,";
    if (!unified && controllers.find(",memory,") == std::string::npos) continue;
    std::string dir = line.substr(second + 1);
    const std::string root = unified ? "/sys/fs/cgroup" : "/sys/fs/cgroup/memory";
    const std::string limitFile = unified ? "/memory.max" : "/memory.limit_in_bytes";
    const std::string usageFile = unified ? "/memory.current" : "/memory.usage_in_bytes";
    for (;;) {
      const std::string base = root + (dir == "/" ? "" : dir);
      uint64_t limit = 0, usage = 0;
      if (readNumber(base + limitFile, "", limit) && readNumber(base + usageFile, "", usage))
        room = std::min(room, limit > usage ? limit - usage : 0);
      if (dir.empty() || dir == "/") break;
      const size_t slash = dir.rfind('/');
      dir = slash == 0 || slash == std::string::npos ? "/" : dir.substr(0, slash);
    }
  }
  return room;
}

// Bytes the process can have at once without swapping or meeting the out-of-memory killer.
// Linux grants anonymous memory when it is first touched, so a mapping larger than the memory
// at hand may well succeed, and the clearing that follows would then get the process killed:
// a table must fit in what the system reports available (its free memory and the caches it can
// drop) and under the process's control-group limits.
uint64_t availableBytes() {
  uint64_t kilobytes = 0;
  const uint64_t system =
      readNumber("/proc/meminfo", "MemAvailable:", kilobytes) ? kilobytes * 1024 : UINT64_MAX;
  return std::min(system, controlGroupRoom());
}
#else
// Windows commits the memory of an allocation at once and refuses what it cannot back, so the
// allocation itself is the test. The extra line lets the table start on a cache line.
constexpr bool FreshMemoryIsZero = false;

void* allocate(size_t bytes) { return std::malloc(bytes + 64); }

void release(void* memory, size_t) { std::free(memory); }

uint64_t* alignTable(void* memory, size_t) {
  return reinterpret_cast<uint64_t*>((reinterpret_cast<uintptr_t>(memory) + 63) & ~uintptr_t(63));
}

uint64_t availableBytes() { return UINT64_MAX; }

void zeroSlice(char* begin, size_t bytes) { std::memset(begin, 0, bytes); }
#endif

#if defined(__cpp_lib_atomic_ref)
uint64_t load(const uint64_t& word) {
  return std::atomic_ref<const uint64_t>(word).load(std::memory_order_relaxed);
}

void storeWord(uint64_t& word, uint64_t value) {
  std::atomic_ref<uint64_t>(word).store(value, std::memory_order_relaxed);
}
#else
// A standard library without std::atomic_ref (Emscripten's): the compiler's own atomic
// operations, which atomic_ref is made of.
uint64_t load(const uint64_t& word) { return __atomic_load_n(&word, __ATOMIC_RELAXED); }

void storeWord(uint64_t& word, uint64_t value) { __atomic_store_n(&word, value, __ATOMIC_RELAXED); }
#endif

}  // namespace

TranspositionTable::~TranspositionTable() { release(memory_, size_t(entryCount_) * 16); }

bool TranspositionTable::resize(uint32_t megabytes, Output& out, unsigned threads) {
  const uint32_t m = megabytes > MaxMegabytes ? MaxMegabytes : megabytes;
  out.printf("# new size of TT hash: %u MB\n", m);
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
  void* memory =
      addressable && bytes + SliceGrain <= availableBytes() ? allocate(bytes) : nullptr;
  if (!memory) {
    out.printf("# cannot allocate %u MB for the TT hash, keeping %" PRIu64 " entries\n", m,
               entryCount_);
    return false;
  }
  release(memory_, size_t(entryCount_) * 16);
  memory_ = memory;
  words_ = alignTable(memory, bytes);
  entryCount_ = n;
  bucketMask_ = uint32_t(n / 4 - 1);
  writeAll(threads, FreshMemoryIsZero);
  return true;
}

void TranspositionTable::clear(unsigned threads) { writeAll(threads, false); }

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
      zeroSlice(base + begin, end - begin);
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

uint64_t TranspositionTable::filledCount() const {
  uint64_t n = 0;
  for (const FillCounter& c : filled_) n += c.value.load(std::memory_order_relaxed);
  return n;
}

uint64_t TranspositionTable::pack(Move move, int score, int bound, int depth, int age) {
  return uint64_t(move) | uint64_t(uint16_t(int16_t(score))) << 16 |
         uint64_t(uint8_t(bound)) << 32 | uint64_t(uint8_t(depth)) << 40 |
         uint64_t(uint8_t(age)) << 48;
}

TTEntry TranspositionTable::decode(uint64_t i) const {
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

void TranspositionTable::write(uint64_t i, const TTEntry& e) {
  const uint64_t data = pack(e.move, e.score, e.bound, e.depth, e.age);
  storeWord(words_[2 * i], e.key ^ data);
  storeWord(words_[2 * i + 1], data);
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
