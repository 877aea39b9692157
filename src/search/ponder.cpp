#include "search/ponder.h"

#include "clock/stopwatch.h"
#include "search/search_pool.h"

namespace varnu {

void Ponder::start(const Position& afterReply, const SearchLimits& limits) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    position_ = afterReply;
    limits_ = limits;
    limits_.ponder = true;
    // The master hands its move over: the search starts after it, from takeQueued.
    if (delivering_) {
      queued_ = true;
      return;
    }
  }
  pool_.startSearch(position_, limits_);
}

void Ponder::hit(const SearchLimits& limits) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!active_ || released_) return;
    hitLimits_ = limits;
    hitPending_ = true;
  }
  wake_.notify_all();
}

void Ponder::miss() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queued_ = false;
    if (!active_ || hitPending_) return;
  }
  pool_.abortSearch();
}

bool Ponder::active() const { return active_.load() && !hitPending_.load(); }

void Ponder::beginSearch(bool ponders) {
  std::lock_guard<std::mutex> lock(mutex_);
  reset(ponders, false);
}

void Ponder::reset(bool ponders, bool afterMove) {
  hitPending_ = false;
  released_ = false;
  afterMove_ = afterMove;
  ponderSearch_ = ponders;
  startStamp_ = clockStamp();
  active_ = ponders;
}

void Ponder::release(const std::function<void()>& stop) {
  {
    // Under the lock, so that the master cannot start a queued ponder search once the abort has
    // marked it: takeQueued starts one only for a master not discarded.
    std::lock_guard<std::mutex> lock(mutex_);
    queued_ = false;
    stop();
    released_ = true;
  }
  wake_.notify_all();
}

bool Ponder::releaseForMove(const std::function<void()>& stop, bool& released) {
  {
    // Under the lock, since the start of a queued ponder search clears the master's stop.
    std::lock_guard<std::mutex> lock(mutex_);
    if (active() && afterMove_) return false;
    released = active();
    released_ = true;
    stop();
  }
  wake_.notify_all();
  return true;
}

bool Ponder::takeHit(SearchLimits& limits) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!hitPending_ || released_) return false;
  limits = hitLimits_;
  // In this order, so that active() never reads true again for this search.
  active_ = false;
  hitPending_ = false;
  return true;
}

bool Ponder::settled() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return hitPending_.load() || released_;
}

bool Ponder::awaitHit(SearchLimits& limits) {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait(lock, [&] { return hitPending_.load() || released_; });
  const bool hit = hitPending_ && !released_;
  if (hit) limits = hitLimits_;
  active_ = false;
  hitPending_ = false;
  return hit;
}

bool Ponder::released() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return released_;
}

void Ponder::awaitRelease() {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait(lock, [&] { return released_; });
}

void Ponder::setDelivering(bool delivering) {
  std::lock_guard<std::mutex> lock(mutex_);
  delivering_ = delivering;
}

const Position* Ponder::takeQueued(SearchLimits& limits, const std::function<bool()>& claim) {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool start = queued_ && claim();
  queued_ = false;
  if (!start) return nullptr;
  limits = limits_;
  reset(true, true);
  return &position_;
}

int32_t Ponder::reportTime(int32_t watchTime) const {
  if (!ponderSearch_) return watchTime;
  return int32_t(uint32_t(clockStamp()) - uint32_t(startStamp_));
}

}  // namespace varnu
