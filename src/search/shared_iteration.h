// The deepest iteration that a secondary worker has completed in the current search, which the
// master takes over instead of finishing its own iteration of that depth.
#pragma once

#include <atomic>
#include <mutex>

#include "search/searcher.h"

namespace varnu {

// The workers keep to the same depths, and a secondary one that leaves the moves the master is
// searching to the end often completes an iteration well before the master does: the master's
// remaining moves would then only repeat what the table holds. Written by the secondary workers,
// read by the master.
class SharedIteration {
 public:
  struct Result {
    int depth = 0;
    int score = 0;
    ScoreBound bound = ScoreBound::Exact;
    PVLine line{};
  };

  // Empties the record before a search.
  void reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    result_ = Result{};
    depth_.store(0, std::memory_order_relaxed);
  }

  // A worker's completed iteration; kept when it is deeper than the one held.
  void publish(int depth, int score, ScoreBound bound, const PVLine& line) {
    if (line.empty()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (depth <= result_.depth) return;
    result_ = Result{depth, score, bound, line};
    depth_.store(depth, std::memory_order_relaxed);
  }

  // The depth of the deepest iteration held, 0 for none: a cheap test for the master's polls.
  int depth() const { return depth_.load(std::memory_order_relaxed); }

  Result result() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return result_;
  }

 private:
  mutable std::mutex mutex_;
  Result result_;
  std::atomic<int> depth_{0};
};

}  // namespace varnu
