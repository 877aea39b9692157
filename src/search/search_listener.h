// What the search reports to the front end that started it: new best lines, the statistics of a
// finished search, and the move to play.
#pragma once

#include <cstdint>

#include "board/move.h"
#include "search/searcher.h"

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
  // Whether endgame tables are in use, and the probes of them that found a result.
  bool tablesInUse = false;
  uint64_t tableHits = 0;
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
  bool tablesInUse = false;
  uint64_t tableHits = 0;
};

// The front end a search reports to, called on the master's thread.
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

}  // namespace varnu
