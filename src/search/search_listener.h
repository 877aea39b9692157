// What the search pool reports to whoever drives it: new best lines, the statistics of a finished
// search, the move to play, and the notes.
#pragma once

#include <cstdint>

#include "board/move.h"
#include "search/note.h"
#include "search/searcher.h"

namespace varnu {

// A new best line at the root, or the result of a completed iteration, in figures.
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

// The pool's reports, on the master's thread but for the notes of a call made while no search
// runs.
class SearchListener : public NoteSink {
 public:
  // The move the master chose, when a move is to be handed over: never after an abort, and the
  // null move only where the root has no legal move.
  virtual void onSearchDone(Move move) = 0;
  virtual void onThinking(const ThinkingReport&) {}
  virtual void onStatistics(const SearchStatistics&) {}
  // Without worker threads, the master gives way now and then on the caller's thread (see
  // SearchPool): waiting, while nothing can change until a command comes.
  virtual void onSearchPause(bool /*waiting*/) {}
  void onNote(const Note&) override {}
};

}  // namespace varnu
