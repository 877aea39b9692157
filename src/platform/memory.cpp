#include "platform/memory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#ifdef __linux__
#include <sys/mman.h>
#elif defined(_WIN32)
#include <windows.h>
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

// The mapping has a large page to spare, so that the table can start on a large-page boundary.
TableMemory allocateTableMemory(size_t bytes) {
  TableMemory m;
  void* memory = mmap(nullptr, bytes + LargePageBytes, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) return m;
  m.allocation = memory;
  m.mappedBytes = bytes + LargePageBytes;
  m.bytes = bytes;
  const uintptr_t start =
      (reinterpret_cast<uintptr_t>(memory) + LargePageBytes - 1) & ~uintptr_t(LargePageBytes - 1);
  m.table = reinterpret_cast<char*>(start);
  // Only a request: the system's setting (/sys/kernel/mm/transparent_hugepage/enabled "never")
  // or a lack of free large pages at the first touch leaves small pages, which work the same.
  madvise(m.table, bytes, MADV_HUGEPAGE);
  return m;
}

void releaseTableMemory(TableMemory& memory) {
  if (memory.allocation) munmap(memory.allocation, memory.mappedBytes);
  memory = TableMemory{};
}

// Sums AnonHugePages over the mappings that overlap the table: a mapping's line "start-end ..."
// is followed by its figures, AnonHugePages among them, in kB.
uint64_t largePageBytes(const TableMemory& memory) {
  if (!memory.table) return 0;
  const uintptr_t begin = reinterpret_cast<uintptr_t>(memory.table), end = begin + memory.bytes;
  std::ifstream smaps("/proc/self/smaps");
  std::string line;
  bool overlaps = false;
  uint64_t bytes = 0;
  while (std::getline(smaps, line)) {
    const size_t dash = line.find('-');
    if (dash != std::string::npos && dash > 0 &&
        line.find_first_not_of("0123456789abcdef") == dash) {
      const uintptr_t from = std::stoull(line.substr(0, dash), nullptr, 16);
      const uintptr_t to = std::stoull(line.substr(dash + 1), nullptr, 16);
      overlaps = from < end && to > begin;
    } else if (overlaps && line.compare(0, 14, "AnonHugePages:") == 0) {
      bytes += std::stoull(line.substr(14)) * 1024;
    }
  }
  return std::min<uint64_t>(bytes, memory.bytes);
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

uint64_t availableMemory() { return UINT64_MAX; }

void zeroUsedMemory(char* begin, size_t bytes) { std::memset(begin, 0, bytes); }

#endif

#ifdef _WIN32

namespace {

// Whether the process may lock large pages: the privilege must be granted to the user (by the
// policy "Lock pages in memory") and then enabled in the process's token, which this does once.
bool holdsLockMemoryPrivilege() {
  static const bool held = [] {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
      return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // AdjustTokenPrivileges succeeds also when it enabled nothing, and says so only in the
    // last error.
    const bool enabled =
        LookupPrivilegeValueA(nullptr, "SeLockMemoryPrivilege", &privileges.Privileges[0].Luid) &&
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
        GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return enabled;
  }();
  return held;
}

}  // namespace

// Large pages are committed and locked at once, in whole large pages; when they cannot be had
// (no privilege, or no run of free physical memory that long), normal pages, which Windows maps
// as they are first touched. Both read as zeros.
TableMemory allocateTableMemory(size_t bytes) {
  TableMemory m;
  const size_t largePage = GetLargePageMinimum();
  if (largePage > 0 && bytes >= largePage && holdsLockMemoryPrivilege()) {
    const size_t rounded = (bytes + largePage - 1) / largePage * largePage;
    m.allocation =
        VirtualAlloc(nullptr, rounded, MEM_RESERVE | MEM_COMMIT | MEM_LARGE_PAGES, PAGE_READWRITE);
    m.mappedBytes = rounded;
    m.largePages = m.allocation != nullptr;
  }
  if (!m.allocation) {
    m.allocation = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    m.mappedBytes = bytes;
  }
  if (!m.allocation) return TableMemory{};
  // VirtualAlloc's memory starts on a page, a cache line among others.
  m.table = static_cast<char*>(m.allocation);
  m.bytes = bytes;
  return m;
}

void releaseTableMemory(TableMemory& memory) {
  if (memory.allocation) VirtualFree(memory.allocation, 0, MEM_RELEASE);
  memory = TableMemory{};
}

uint64_t largePageBytes(const TableMemory& memory) { return memory.largePages ? memory.bytes : 0; }

#elif !defined(__linux__)

// The extra cache line lets the table start on one.
TableMemory allocateTableMemory(size_t bytes) {
  TableMemory m;
  m.allocation = std::malloc(bytes + 64);
  if (!m.allocation) return m;
  m.table =
      reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(m.allocation) + 63) & ~uintptr_t(63));
  m.bytes = bytes;
  m.mappedBytes = bytes + 64;
  return m;
}

void releaseTableMemory(TableMemory& memory) {
  std::free(memory.allocation);
  memory = TableMemory{};
}

uint64_t largePageBytes(const TableMemory&) { return 0; }

#endif

}  // namespace varnu
