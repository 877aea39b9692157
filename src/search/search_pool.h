// The pool of search workers: one persistent thread per core in use, all searching the same
// root on their own Position copies and sharing one transposition table. Worker 0, the master,
// keeps the clock, reports, and hands the chosen move to the listener.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "board/output.h"
#include "board/position.h"
#include "book/opening_book.h"
#include "clock/time_control.h"
#include "search/searcher.h"
#include "search/transposition_table.h"

namespace varnu {

// A new best line at the root, or the result of a completed iteration, in figures; each front
// end prints it in its own protocol.
struct ThinkingReport {
  int depth = 0;
  int selDepth = 0;  // the deepest ply the master has reached in this search
  int score = 0;
  int32_t time = 0;    // centiseconds since the search started
  uint64_t nodes = 0;  // all workers
  int hashFull = 0;    // permille of the table's entries in use
  const PVLine* line = nullptr;
  bool iterationDone = false;  // false: a new best line in the middle of an iteration
  // The line's rank among the search's best lines (1 the best), how many lines the search was
  // asked for, and whether the score is only a bound.
  int lineNumber = 1;
  int linesWanted = 1;
  ScoreBound bound = ScoreBound::Exact;
};

// The counters of a finished search, summed over the workers.
struct SearchStatistics {
  uint64_t nodes = 0;
  uint64_t qsNodes = 0;
  uint64_t cutoffs = 0;
  uint64_t cutoffsOnFirstMove = 0;
  uint64_t qsCutoffs = 0;
  uint64_t qsCutoffsOnFirstMove = 0;
  uint64_t ttHashHits = 0;
  int32_t time = 0;  // centiseconds
  double hashFullPercent = 0;
};

// The front end a search reports to, called on the master's thread. Thinking reports and
// statistics come only while thinking output is on.
class SearchListener {
 public:
  virtual ~SearchListener() = default;
  // The move the master chose; never called with the null move, and not after an abort.
  virtual void onSearchDone(Move move) = 0;
  virtual void onThinking(const ThinkingReport&) {}
  virtual void onStatistics(const SearchStatistics&) {}
  // A table size set while the search ran could not be had when it ended: the old table stays.
  virtual void onTableRefused(uint32_t /*megabytes*/) {}
};

// A search to start on the master's thread as soon as the current one has handed over its move:
// pondering on the reply the engine expects.
struct PonderJob {
  Position position;  // the game after the expected reply
  int gamePly = 0;
  SearchRequest request;
};

class SearchPool : public SearchHost {
 public:
  static constexpr uint32_t DefaultHashMegabytes = 256;
  static constexpr const char* DefaultBookPath = "book.bin";

  SearchPool(Output& out, TimeControl& timeControl);
  ~SearchPool() override;

  // Sets the number of workers wanted from the next rebuild on, at most the processors.
  void setCores(int32_t n);
  // The table is made and emptied by writing every entry, split over one thread per processor,
  // before these return: the search that follows never waits for the system to map its pages.
  // Creates the transposition table if there is none.
  void ensureTable();
  // Empties the table, or makes it at the size set (a new game).
  void recreateTable();
  // Sets the table size in megabytes; the table is remade at once when no search runs, and
  // otherwise when the search ends, before its workers count as idle, so that a running search
  // keeps its table. False when the size was refused now: the old table and size stay.
  bool setHashSize(uint32_t megabytes);
  uint32_t hashSize() const;
  // Empties the table; while a search runs, it keeps its table and the clearing follows when
  // the search ends, as for a new size.
  void clearTable();
  // Creates the wanted number of workers if that changed, or all anew when forced. Only while
  // no search runs.
  void rebuildWorkers(bool force);

  // Starts all workers on the position; gamePly is the number of moves in the game record, for
  // the time budget. The position must stay unchanged until the search is done.
  void startSearch(const Position& game, int gamePly, SearchListener* listener,
                   const SearchRequest& request = SearchRequest{});
  // Stops a running search so that no move is played; returns when every worker is idle.
  void abortSearch();
  // Ends a running search as a spent budget would: the master stops and reports the best move
  // found so far to the listener. Returns when every worker is idle (or, after the engine's
  // move, pondering), so the caller must not hold a lock that the listener takes. Nothing
  // happens when no search runs, nor to a ponder search started by ponderNext.
  void moveNow();
  // Waits until every worker is idle.
  void waitIdle();
  // Waits until the search for the engine's own move is over: every worker is idle, or the
  // pool ponders after handing the move over.
  void waitForMove();

  // Pondering. While a ponder search runs, the clock is not consulted; ponderHit puts it in
  // charge from that moment (the budget is computed and reported as for any move, and the time
  // pondered is a bonus), without restarting the search. Called on the command thread.
  void ponderHit();
  // True from the start of a ponder search until its hit, move-now or abort: after the hit the
  // search is the one for the engine's own move.
  bool pondering() const { return timeControl_.pondering.load() && !ponderHitPending_.load(); }
  // Stops a ponder search with no move played, or cancels one that was asked for but has not
  // started; a search for the engine's own move runs on. Returns when that is done.
  void abortPonder();
  // From the listener's onSearchDone, on the master's thread: ponder once the move is handed
  // over. Any abort before the ponder search has started cancels it.
  void ponderNext(const PonderJob& job);
  // The reply the engine expects to the move just handed over, for the position after it: the
  // second move of the line it came from, else the table's move there; the null move for none.
  // Only on the master's thread from onSearchDone, or while no search runs.
  Move expectedReply(const Position& afterMove) const;
  // True while some worker searches.
  bool anyBusy() const;

  // SearchHost: the master's clock test and its reports.
  bool checkTimeout() override;
  void reportThinking(int depth, int score, const PVLine& line, LineTag tag) override;
  void reportIteration(int depth, int score, const PVLine& line, LineTag tag) override;
  void printStatistics() override;

  uint32_t maxCores() const { return maxCores_; }
  uint32_t requestedCores() const { return requestedCores_; }
  uint32_t workerCount() const { return uint32_t(workers_.size()); }
  // The master changes the table as a search ends: read it while the workers are idle, on the
  // master's thread, or before stopping the search.
  const TranspositionTable& table() const { return table_; }
  OpeningBook& book() { return book_; }

  std::atomic<bool> postThinking{true};
  std::atomic<bool> bookUse{true};

  // Figures of the last statistics block: nodes, QS nodes, cutoffs, cutoffs on the first move,
  // QS cutoffs, QS cutoffs on the first move, table hits.
  uint64_t totals[7] = {};

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

  void run(Worker& worker);
  void setState(Worker& worker, JobState state);
  void waitUntilIdle(Worker& worker);
  // The master's job: budget, book, iterative deepening, stopping the others, the move; then
  // the ponder search that the listener asked for, if any.
  void think();
  // Marks the watch and computes and reports the move's budget when a clock governs it.
  void startBudget();
  // A ponder search whose result came before its hit waits here for the hit, move-now or abort.
  void awaitPonderEnd();
  // Puts the clock in charge of a ponder search at its hit (on the master's thread).
  void endPonder();
  // Starts the ponder search asked for by ponderNext, on the master's thread; false for none.
  bool startPonderJob();
  // Marks the secondary workers busy on the current search (under their locks) and wakes them.
  void startSecondaries();
  // Centiseconds since the search started, for the reports: a ponder search counts from its own
  // start, since the watch measures only the engine's own time.
  int32_t searchTime() const;
  // Stops the secondary workers and waits for them (on the master's thread).
  void stopWorkers();
  void discardWorkers();
  // Remakes the table after a change asked for while a search ran, telling the listener when
  // the size was refused. Needs tableMutex_.
  void applyPendingHashSize(SearchListener* listener);
  // Makes or empties the table at hashMegabytes_; on a refusal the size goes back to the
  // table's. Needs tableMutex_.
  bool remakeTable();
  uint64_t totalNodes() const;
  void report(int depth, int score, const PVLine& line, bool iterationDone, LineTag tag);

  Output& out_;
  TimeControl& timeControl_;
  TranspositionTable table_;
  // Guards the table's size and the change pending for it: the command thread sets them while
  // the master search thread applies them when its search ends.
  mutable std::mutex tableMutex_;
  uint32_t hashMegabytes_ = DefaultHashMegabytes;
  uint32_t tableMegabytes_ = DefaultHashMegabytes;  // the size the table was made with
  bool hashResizePending_ = false;
  OpeningBook book_;
  uint32_t maxCores_;
  uint32_t requestedCores_ = 1;
  std::vector<std::unique_ptr<Worker>> workers_;

  // The current search, fixed by startSearch.
  const Position* game_ = nullptr;
  int gamePly_ = 0;
  SearchListener* listener_ = nullptr;
  SearchRequest request_;

  // Pondering. ponderMutex_ orders the ponder's start and end against the command thread's
  // hit, move-now and aborts; it is never held while the game lock of a front end is taken.
  std::mutex ponderMutex_;
  std::condition_variable ponderWake_;  // the master waits for the hit, move-now or abort
  std::atomic<bool> ponderHitPending_{false};
  std::atomic<bool> ponderReleased_{false};  // move-now or abort while pondering
  bool ponderJobPending_ = false;            // under ponderMutex_
  bool ponderAfterMove_ = false;             // under ponderMutex_: the search came from ponderNext
  // Under ponderMutex_ until the ponder search starts; its position is the search's game then.
  PonderJob ponderJob_;
  // The clock stamp at the start of a ponder search; read for the reports on the master's thread.
  bool ponderSearch_ = false;
  int32_t ponderStart_ = 0;
  // The line of the move last handed over (empty after a book move), for expectedReply.
  PVLine playedLine_{};
};

}  // namespace varnu
