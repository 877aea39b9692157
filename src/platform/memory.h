// Memory for the large tables: how it is had and given back, how much the system can spare, and
// the words that threads share in it without a lock.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace varnu {

// Linux and Windows hand out fresh memory that reads as zeros and map its pages as they are
// first touched (or, for Windows' large pages, all at once); elsewhere (a browser) the table's
// memory comes from malloc, with no promise about its contents.
#if defined(__linux__) || defined(_WIN32)
inline constexpr bool FreshMemoryIsZero = true;
#else
inline constexpr bool FreshMemoryIsZero = false;
#endif

// A table's memory as it was had: the allocation, and where the table starts in it. Probes land
// anywhere in a table, and with small pages nearly every one would also miss the processor's
// address-translation cache, so tables are asked for in large pages: on Linux the table starts
// on a 2 MB boundary and the kernel is asked to map it in transparent huge pages, which it may
// or may not do as the pages are touched; on Windows the pages are locked large pages when the
// process holds the privilege to lock memory ("Lock pages in memory"), and normal ones
// otherwise. Elsewhere the table starts on a cache line.
struct TableMemory {
  void* allocation = nullptr;  // null when there is none
  char* table = nullptr;
  size_t bytes = 0;         // the table's, as asked for
  size_t mappedBytes = 0;   // the allocation's
  bool largePages = false;  // Windows' large pages, granted with the allocation
};

// Memory for a table of bytes; its allocation is null when the system refuses it, and is given
// back by releaseTableMemory, which leaves the record empty.
TableMemory allocateTableMemory(size_t bytes);
void releaseTableMemory(TableMemory& memory);

// How many of the table's bytes lie in large pages. On Linux the kernel's account of the
// mapping (AnonHugePages in /proc/self/smaps), so ask after the pages have been touched.
uint64_t largePageBytes(const TableMemory& memory);

// Bytes the process can have at once without swapping or meeting the out-of-memory killer.
// Linux grants anonymous memory when it is first touched, so a mapping larger than the memory at
// hand may well succeed and the clearing that follows would then get the process killed: a table
// must fit in what the system reports available (its free memory and the caches it can drop) and
// under the process's control-group limits (a container's among them). Elsewhere the allocation
// itself is the test (Windows refuses what it cannot back), and this is unbounded.
uint64_t availableMemory();

// Zeros a stretch of a table that has been used; its pages are mapped when this returns. Under
// ThreadSanitizer a memset of hundreds of megabytes rewrites as much shadow memory and takes
// seconds, so there the pages are dropped and touched again, which maps them as zeros.
void zeroUsedMemory(char* begin, size_t bytes);

// A 64-bit word that threads read and write without a lock, each access whole. Emscripten's
// standard library lacks std::atomic_ref, whose operations the compiler's builtins make.
inline uint64_t relaxedLoad(const uint64_t& word) {
#if defined(__cpp_lib_atomic_ref)
  return std::atomic_ref<const uint64_t>(word).load(std::memory_order_relaxed);
#else
  return __atomic_load_n(&word, __ATOMIC_RELAXED);
#endif
}

inline void relaxedStore(uint64_t& word, uint64_t value) {
#if defined(__cpp_lib_atomic_ref)
  std::atomic_ref<uint64_t>(word).store(value, std::memory_order_relaxed);
#else
  __atomic_store_n(&word, value, __ATOMIC_RELAXED);
#endif
}

}  // namespace varnu
