// The pool of search workers: one persistent thread per core in use, all searching the same
// root on their own Position copies and sharing one transposition table. Worker 0, the master,
// keeps the clock, reports, and hands the chosen move to the listener.
//
// Where no thread can start (a WebAssembly build without thread support), the workers run the
// other way (WorkerMode::Inline): the master alone, on the caller's thread, so that startSearch
// returns when the search is over. The master then gives way to the listener's onSearchPause as it
// checks its clock and while it waits (for a ponder hit, a stop, or a level's time), where the
// calls that a running search needs (a move-now, a ponder hit, an abort) can be made.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "board/position.h"
#include "book/opening_book.h"
#include "clock/stopwatch.h"
#include "search/move_timer.h"
#include "search/note.h"
#include "search/ponder.h"
#include "search/search_limits.h"
#include "search/search_listener.h"
#include "search/searcher.h"
#include "search/shared_iteration.h"
#include "search/table_keeper.h"
#include "tablebase/tablebases.h"

namespace varnu {

// How the workers run: each on a thread of its own, or the master alone on the caller's thread.
enum class WorkerMode : uint8_t { Threads, Inline };

// Threads where the build can start them.
WorkerMode defaultWorkerMode();

class SearchPool : public SearchHost {
 public:
  // The search's time is measured on the watch; book may be null for a pool that never plays
  // book moves, tablebases for one that never probes endgame tables. The first table is made at
  // tableMegabytes unless another size is set first. Everything the pool reports goes to the
  // listener.
  SearchPool(SearchListener& listener, Stopwatch& watch, OpeningBook* book,
             const Tablebases* tablebases, uint32_t tableMegabytes,
             WorkerMode mode = defaultWorkerMode());
  ~SearchPool() override;

  // Sets the number of workers wanted from the next search on, at most the processors, and
  // notes it; as many threads write the tables made from now on.
  void setCores(int32_t n);
  uint32_t maxCores() const { return maxCores_; }
  uint32_t requestedCores() const { return requestedCores_; }
  uint32_t workerCount() const { return uint32_t(workers_.size()); }
  // Creates the wanted number of workers if that changed, or all anew when forced. Only while
  // no search runs.
  void rebuildWorkers(bool force);

  // Starts all workers on the position. The position must stay unchanged until the search is
  // done. A search with limits.ponder is a ponder search (see Ponder). An infinite search that
  // hands its move over keeps it until a move-now. Without threads this returns when the search
  // is over.
  void startSearch(const Position& game, const SearchLimits& limits);
  // Stops a running search so that no move is played; returns when every worker is idle.
  void abortSearch();
  // Ends a running search as a spent budget would: the master stops and reports the best move
  // found so far to the listener, also when it was waiting for a stop (an infinite search, or a
  // ponder search that started on its own). Returns when every worker is idle (or, after the
  // engine's move, pondering), so the caller must not hold a lock that the listener takes. A
  // ponder search that began after the engine's move has no move to hand over before its hit
  // and runs on. Without threads every wait returns at once: the search, below the caller, ends
  // at its next clock test.
  void moveNow();
  // Waits until every worker is idle.
  void waitIdle();
  // Waits until the search for the engine's own move is over: every worker is idle, or the
  // pool ponders after handing the move over.
  void waitForMove();
  // True while some worker searches.
  bool anyBusy() const;

  // The reply the engine expects to the move just handed over, for the position after it: the
  // second move of the line it came from, else the table's move there; the null move for none.
  // Only on the master's thread from onSearchDone, or while no search runs.
  Move expectedReply(const Position& afterMove) const;
  // The counters of the last search, summed over the workers.
  const SearchStatistics& statistics() const { return statistics_; }

  TableKeeper& table() { return table_; }
  const TableKeeper& table() const { return table_; }
  Ponder& ponder() { return ponder_; }
  const Ponder& ponder() const { return ponder_; }

  // SearchHost: the master's clock test and its reports.
  bool checkTimeout() override;
  void reportThinking(int depth, int score, const PVLine& line, LineTag tag) override;
  void reportIteration(int depth, int score, const PVLine& line, LineTag tag) override;
  void printStatistics() override;
  void onNote(const Note& note) override { listener_.onNote(note); }

 private:
  enum JobState { Idle = 0, Busy = 1, Quit = 2 };

  struct Worker {
    int index = 0;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;  // the worker waits for work; stoppers wait for idleness
    std::atomic<int> jobState{Idle};
    std::unique_ptr<Searcher> searcher;
  };

  // What differs between the ways the workers run (see WorkerMode).
  class Runner {
   public:
    virtual ~Runner() = default;
    // The most workers there can be.
    virtual uint32_t maxWorkers() const = 0;
    // Sets a new worker going: its thread starts, where workers have threads.
    virtual void launch(Worker& worker) = 0;
    // The search is prepared and its workers marked busy: the master's thread takes it, or the
    // master's job runs now, on the caller's thread.
    virtual void begin(Worker& master) = 0;
    // Returns once done() holds, which the worker's state changes make true: a wait on the
    // worker's lock and wake, or nothing where the worker runs on the caller's thread.
    virtual void await(Worker& worker, const std::function<bool()>& done) = 0;
    // The master gives way while it waits (waiting) or as it checks its clock.
    virtual void pause(bool waiting) = 0;
    // Before the master blocks until settled() holds: where only a call made during its pause can
    // settle it, it gives way until then.
    virtual void settle(const std::function<bool()>& settled) = 0;
  };
  class ThreadedRunner;
  class InlineRunner;

  void run(Worker& worker);
  // The master's whole job: the search with its move, then the table's change asked for meanwhile.
  void masterJob(Worker& master);
  void setState(Worker& worker, JobState state);
  void waitUntilIdle(Worker& worker);
  // The master's job: the clock, the book, iterative deepening, stopping the others, the move;
  // then the ponder search that the listener asked for, if any.
  void think();
  // Fixes the search that think runs next and marks the workers busy: all of them, or only the
  // secondary ones when the master starts a search of its own.
  void prepareSearch(const Position& game, const SearchLimits& limits, bool secondariesOnly);
  // Stops the secondary workers and waits for them (on the master's thread).
  void stopWorkers();
  void discardWorkers();
  uint64_t totalNodes() const;
  void report(int depth, int score, const PVLine& line, bool iterationDone, LineTag tag);
  // Reports a table size set meanwhile that could not be had.
  void noteRefusedSize(uint32_t megabytes);
  // Starts the move's clock (at the search's start, or at a ponder hit) under these limits.
  void startClock(const SearchLimits& limits, int side);
  // A level's search ends at its nodes, mostly long before the clock would end a full-strength
  // search. Its move then waits, without searching, until about the time full strength takes,
  // so that the game keeps the pace of its clock; a stop or move-now ends the wait at once.
  void waitLikeFullStrength();
  // Narrows the limits' root moves to those the endgame tables rank best, when the position is in
  // them, and keeps the scores the tables give them for the reports.
  void rankRootByTables(const Position& game, SearchLimits& limits);
  bool tablesInUse() const { return tablebases_ && tablebases_->largest() > 0; }
  uint64_t totalTableHits() const;

  SearchListener& listener_;
  OpeningBook* const book_;
  const Tablebases* const tablebases_;
  const std::unique_ptr<Runner> runner_;
  TableKeeper table_;
  MoveTimer timer_;
  Ponder ponder_;
  uint32_t maxCores_;
  uint32_t requestedCores_ = 1;
  std::vector<std::unique_ptr<Worker>> workers_;
  // The moves the workers are searching, when more than one searches.
  BusyMoves busyMoves_;
  SharedIteration iterations_;

  // The current search, fixed by prepareSearch.
  const Position* game_ = nullptr;
  SearchLimits limits_;
  SearchStatistics statistics_;
  // The line of the move last handed over (empty after a book move), for expectedReply.
  PVLine playedLine_{};
  // The root's moves that the endgame tables kept, with their scores; none when the root is not
  // in the tables. rootTableHits_ counts the root's probes.
  MoveList rootTableMoves_;
  int rootTableScores_[MoveList::Capacity] = {};
  uint64_t rootTableHits_ = 0;
  // The search plays at a level below full strength: the master searches alone.
  bool levelSearch_ = false;
  // Its move waits for the time full strength takes: no depth or node limit was given. The clock
  // is a fixed time per move.
  bool levelWaits_ = false;
  bool fixedMoveTime_ = false;
  // Counts the stops and move-nows, so that a level's wait for its time (see waitLikeFullStrength)
  // ends at any that came after its search was prepared.
  std::atomic<uint32_t> stopCommands_{0};
  uint32_t stopCommandsAtStart_ = 0;
};

}  // namespace varnu
