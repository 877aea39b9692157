// The stopwatch that measures the engine's own thinking time, in centiseconds.
#pragma once

#include <atomic>
#include <cstdint>

namespace varnu {

// Centisecond stamp of a monotonic clock. 32-bit arithmetic that wraps; only differences are used.
int32_t clockStamp();

// The command thread sets it ("time", "new", "force") while the master search thread reads it,
// so every field is atomic; relaxed order is enough for a clock.
class Stopwatch {
 public:
  // accumulated, plus the running time when running.
  int32_t reading() const;
  // reading() measured from the mark of the current search.
  int32_t sinceMark() const;
  // Marks the start of a search and starts the watch if it is not running; returns the reading
  // at the mark, the time used before this search.
  int32_t markAndStart();
  // Adds the running time to accumulated and stops.
  void stop();
  // Stopped, nothing accumulated, start stamp 0; the lap mark stays.
  void reset();
  // Sets the time counted so far (the "time" command).
  void setAccumulated(int32_t centiseconds) {
    accumulated_.store(centiseconds, std::memory_order_relaxed);
  }
  bool running() const { return running_.load(std::memory_order_relaxed); }
  int32_t accumulated() const { return accumulated_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> running_{false};
  std::atomic<int32_t> accumulated_{0};
  std::atomic<int32_t> startStamp_{0};
  std::atomic<int32_t> lapMark_{0};
};

}  // namespace varnu
