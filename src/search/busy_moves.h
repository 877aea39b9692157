// The marks of the moves the search workers are searching at this moment, which they share
// without a lock.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "board/types.h"

namespace varnu {

// The moves that some worker is searching at this moment, marked by the node's key and the move,
// so that another worker that meets the same node searches the other moves first and comes back
// to a marked one last, when its result is likely in the table: two workers that walk the same
// tree in the same order would otherwise search the same subtrees at once, and the second would
// find nothing in the table to save it the work. A mark is a 32-bit word of a fixed table, which
// a mark of another node may overwrite: a lost or wrong mark only changes an order.
class BusyMoves {
 public:
  // Whether some worker is searching the move of the node with this key, as far as the marks tell.
  bool marked(uint64_t key, Move m) const {
    return slot(key, m).load(std::memory_order_relaxed) == tag(key, m);
  }
  // Marks the move as being searched, before its child's search.
  void mark(uint64_t key, Move m) { slot(key, m).store(tag(key, m), std::memory_order_relaxed); }
  // Takes the mark away unless another node's has replaced it.
  void unmark(uint64_t key, Move m) {
    uint32_t expected = tag(key, m);
    slot(key, m).compare_exchange_strong(expected, 0, std::memory_order_relaxed);
  }

 private:
  static constexpr size_t Size = size_t(1) << 14;
  static uint64_t mixed(uint64_t key, Move m) { return key ^ (uint64_t(m) * 0x9E3779B97F4A7C15u); }
  static uint32_t tag(uint64_t key, Move m) { return uint32_t(mixed(key, m) >> 32) | 1; }
  std::atomic<uint32_t>& slot(uint64_t key, Move m) const {
    return words_[mixed(key, m) & (Size - 1)];
  }
  mutable std::atomic<uint32_t> words_[Size] = {};
};

}  // namespace varnu
