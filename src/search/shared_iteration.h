// The deepest iteration that any search worker has completed in the current search, which the
// others take over instead of finishing their own iteration of that depth.
#pragma once

#include <atomic>
#include <mutex>

#include "search/searcher.h"

namespace varnu {

// The workers keep to the same depths, and one that leaves the moves another is searching to the
// end often completes an iteration well before that one does (a secondary worker before the
// master, measured with two threads, by a fifth of the time to depth in all): the other's
// remaining moves would then only repeat what the table holds. Every worker writes it and reads it.
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

  // The depth of the deepest iteration held, 0 for none: a cheap test for the workers' polls.
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
