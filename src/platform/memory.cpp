#include "platform/memory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace varnu {

#ifdef __linux__

namespace {

constexpr size_t LargePageBytes = size_t(2) << 20;

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

// Room left under the memory limits of the process's control groups, from its own group up to
// the root; no limit found is no cap.
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

}  // namespace

void* allocateTableMemory(size_t bytes) {
  void* memory = mmap(nullptr, bytes + LargePageBytes, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return memory == MAP_FAILED ? nullptr : memory;
}

void releaseTableMemory(void* memory, size_t bytes) {
  if (memory) munmap(memory, bytes + LargePageBytes);
}

char* alignTable(void* memory, size_t bytes) {
  const uintptr_t start =
      (reinterpret_cast<uintptr_t>(memory) + LargePageBytes - 1) & ~uintptr_t(LargePageBytes - 1);
  madvise(reinterpret_cast<void*>(start), bytes, MADV_HUGEPAGE);  // only a request
  return reinterpret_cast<char*>(start);
}

uint64_t availableMemory() {
  uint64_t kilobytes = 0;
  const uint64_t system =
      readNumber("/proc/meminfo", "MemAvailable:", kilobytes) ? kilobytes * 1024 : UINT64_MAX;
  return std::min(system, controlGroupRoom());
}

void zeroUsedMemory(char* begin, size_t bytes) {
#if defined(__SANITIZE_THREAD__)
  madvise(begin, bytes, MADV_DONTNEED);
  for (size_t at = 0; at < bytes; at += 4096) *reinterpret_cast<volatile char*>(begin + at) = 0;
#else
  std::memset(begin, 0, bytes);
#endif
}

#else

// The extra cache line lets the table start on one.
void* allocateTableMemory(size_t bytes) { return std::malloc(bytes + 64); }

void releaseTableMemory(void* memory, size_t) { std::free(memory); }

char* alignTable(void* memory, size_t) {
  return reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(memory) + 63) & ~uintptr_t(63));
}

uint64_t availableMemory() { return UINT64_MAX; }

void zeroUsedMemory(char* begin, size_t bytes) { std::memset(begin, 0, bytes); }

#endif

}  // namespace varnu
