// Pondering: searching the position after the reply the engine expects while the opponent
// thinks. A ponder search has no limit of time or nodes until its hit, the moment the expected
// reply is played: from then on the clock of the move governs it, the time pondered a bonus, and
// it goes on without a restart. A miss (any other reply) ends it with no move played. A result
// found before the hit (a stop rule, a depth limit, a book move) waits for the hit, a move-now or
// an abort.
//
// The same lock orders the end of a search whose result waits for a stop (an infinite one that
// hands its move over): the master waits here for the move-now or abort that releases it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "board/position.h"
#include "search/search_limits.h"

namespace varnu {

class SearchPool;

class Ponder {
 public:
  explicit Ponder(SearchPool& pool) : pool_(pool) {}

  // Starts pondering on the position after the expected reply, under limits whose clock takes
  // over at the hit. Called from the listener's onSearchDone, on the master's thread, the ponder
  // search starts once the move is handed over (any abort before then cancels it); called while
  // no search runs, it starts at once.
  void start(const Position& afterReply, const SearchLimits& limits);
  // The expected reply was played: the clock of these limits governs the search from now on, and
  // a result found already is handed over.
  void hit(const SearchLimits& limits);
  // Another reply was played, or pondering is turned off: a ponder search ends with no move
  // played, and one asked for but not started is cancelled. A search for the engine's own move
  // runs on. Returns when that is done.
  void miss();
  // True from the start of a ponder search until its hit, a move-now or an abort.
  bool active() const;

 private:
  friend class SearchPool;

  // What the pool asks, on the thread named.
  // Command thread, as any search starts.
  void beginSearch(bool ponders);
  // Command thread: under the ponder lock, runs stop (which marks the workers), cancels the
  // ponder search asked for, and releases a result that waits for its hit or a stop.
  void release(const std::function<void()>& stop);
  // Command thread, for a move-now: false, with nothing done, when the search is a ponder search
  // that began after the engine's move (it has no move to hand over before its hit). Otherwise
  // runs stop under the ponder lock, releases a waiting result and sets released when the search
  // pondered.
  bool releaseForMove(const std::function<void()>& stop, bool& released);
  // Master, with the result of a search that waits for a stop: true once released, and
  // awaitRelease waits until then.
  bool released() const;
  void awaitRelease();
  // Master: true while the search ponders, until the master takes its hit.
  bool ponders() const { return active_.load(); }
  // Master, in its clock test: true once the hit has come, with the limits it brought.
  bool takeHit(SearchLimits& limits);
  // Master, with its result: waits for the hit (true, with its limits) or a release (false).
  bool awaitHit(SearchLimits& limits);
  // Master: true once awaitHit would return at once.
  bool settled() const;
  // Master, around the move's delivery: a start asked for meanwhile is queued.
  void setDelivering(bool delivering);
  // Master, after the move: the position of the ponder search asked for by start, with its
  // limits, or null when none was. claim runs under the ponder lock: false when the master may
  // not start it (it was told to discard its result).
  const Position* takeQueued(SearchLimits& limits, const std::function<bool()>& claim);
  // Sets the state of a search that starts now: pondering or not, after the engine's move or not.
  // Needs mutex_.
  void reset(bool ponders, bool afterMove);
  // Centiseconds since the search started, for its reports: a ponder search counts from its own
  // start, since the watch measures only the engine's own time; others take watchTime.
  int32_t reportTime(int32_t watchTime) const;

  SearchPool& pool_;
  // Orders the ponder search's start and end against the command thread's hit, move-now and
  // aborts. A front end's game lock may be held when it is taken, never the other way round.
  mutable std::mutex mutex_;
  std::condition_variable wake_;  // the master waits for the hit, move-now or abort
  // A ponder search runs and the master has not taken its hit; the hit came and the master has
  // not taken it. Atomic, since the master's clock test reads them without the lock.
  std::atomic<bool> active_{false};
  std::atomic<bool> hitPending_{false};
  bool released_ = false;    // move-now or abort
  bool afterMove_ = false;   // the search came from a start queued after the engine's move
  bool delivering_ = false;  // the master hands its move over
  bool queued_ = false;      // a start waits for the move's delivery to end
  SearchLimits hitLimits_;
  // The queued start; the position is the search's game once it runs.
  Position position_;
  SearchLimits limits_;
  // The clock stamp at the start of a ponder search; read for the reports on the master's thread.
  bool ponderSearch_ = false;
  int32_t startStamp_ = 0;
};

}  // namespace varnu
