#include "clock/stopwatch.h"

#include <chrono>

namespace varnu {

namespace {

int32_t wrapAdd(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
int32_t wrapSub(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }

}  // namespace

int32_t clockStamp() {
  // A monotonic clock: the stamps keep their origin for the life of the process and do not jump
  // when the system's wall clock is set.
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  const int64_t seconds = ms / 1000, millis = ms % 1000;
  return int32_t(uint32_t(uint64_t(seconds) * 100u + uint64_t(millis / 10)));
}

int32_t Stopwatch::reading() const {
  int32_t value = accumulated_.load(std::memory_order_relaxed);
  if (running_.load(std::memory_order_relaxed))
    value = wrapAdd(value, wrapSub(clockStamp(), startStamp_.load(std::memory_order_relaxed)));
  return value;
}

int32_t Stopwatch::sinceMark() const {
  return wrapSub(reading(), lapMark_.load(std::memory_order_relaxed));
}

int32_t Stopwatch::markAndStart() {
  const int32_t mark = reading();
  lapMark_.store(mark, std::memory_order_relaxed);
  if (!running_.load(std::memory_order_relaxed)) {
    startStamp_.store(clockStamp(), std::memory_order_relaxed);
    running_.store(true, std::memory_order_relaxed);
  }
  return mark;
}

void Stopwatch::stop() {
  if (!running_.load(std::memory_order_relaxed)) return;
  running_.store(false, std::memory_order_relaxed);
  const int32_t ran = wrapSub(clockStamp(), startStamp_.load(std::memory_order_relaxed));
  accumulated_.store(wrapAdd(accumulated_.load(std::memory_order_relaxed), ran),
                     std::memory_order_relaxed);
}

void Stopwatch::reset() {
  running_.store(false, std::memory_order_relaxed);
  accumulated_.store(0, std::memory_order_relaxed);
  startStamp_.store(0, std::memory_order_relaxed);
}

}  // namespace varnu
