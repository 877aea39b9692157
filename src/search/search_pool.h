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
};

class SearchPool : public SearchHost {
 public:
  static constexpr uint32_t DefaultHashMegabytes = 256;
  static constexpr const char* DefaultBookPath = "book.bin";

  SearchPool(Output& out, TimeControl& timeControl);
  ~SearchPool() override;

  // Sets the number of workers wanted from the next rebuild on, at most the processors.
  void setCores(int32_t n);
  // Creates the transposition table if there is none.
  void ensureTable();
  // Replaces the table with a fresh one (a new game).
  void recreateTable();
  // Sets the table size in megabytes; the table is remade at once when no search runs, and
  // otherwise as soon as the workers are idle, so that a running search keeps its table.
  void setHashSize(uint32_t megabytes);
  uint32_t hashSize() const { return hashMegabytes_; }
  // Empties the table; while a search runs, it keeps its table and a fresh one follows when the
  // workers are idle.
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
  // found so far to the listener. Returns when every worker is idle, so the caller must not
  // hold a lock that the listener takes. Nothing happens when no search runs.
  void moveNow();
  // Waits until every worker is idle.
  void waitIdle();
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
  // The master's job: budget, book, iterative deepening, stopping the others, the move.
  void think();
  // Stops the secondary workers and waits for them (on the master's thread).
  void stopWorkers();
  void discardWorkers();
  void applyPendingHashSize();
  uint64_t totalNodes() const;
  void report(int depth, int score, const PVLine& line, bool iterationDone, LineTag tag);

  Output& out_;
  TimeControl& timeControl_;
  TranspositionTable table_;
  uint32_t hashMegabytes_ = DefaultHashMegabytes;
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
};

}  // namespace varnu
