// Memory for the large tables: how it is had and given back, how much the system can spare, and
// the words that threads share in it without a lock.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace varnu {

// Linux hands out anonymous memory that reads as zeros and maps its pages as they are first
// touched; elsewhere (Windows, which commits an allocation at once, or a browser) the table's
// memory comes from malloc, with no promise about its contents.
#ifdef __linux__
inline constexpr bool FreshMemoryIsZero = true;
#else
inline constexpr bool FreshMemoryIsZero = false;
#endif

// Memory for a table of bytes, with room to start it on a large-page boundary (alignTable); null
// when the system refuses it. releaseTableMemory takes the allocation and the same byte count.
void* allocateTableMemory(size_t bytes);
void releaseTableMemory(void* memory, size_t bytes);
// Where the table starts in its allocation: on a 2 MB boundary, where Linux is asked to map it
// in large pages, since probes land anywhere in it and with small pages nearly every one would
// also miss the processor's address-translation cache; elsewhere on a cache line.
char* alignTable(void* memory, size_t bytes);

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
