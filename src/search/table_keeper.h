// The transposition table as the engine keeps it between searches: made at the size set,
// remade when the size changes and emptied on request. While a search uses the table, a change
// waits for the end of that search, so that the search keeps its table to the last node.
#pragma once

#include <cstdint>
#include <mutex>

#include "search/note.h"
#include "search/transposition_table.h"

namespace varnu {

class TableKeeper {
 public:
  // A table is made, and emptied, by writing every entry, split over as many threads as the
  // search uses (one until setThreads says otherwise), before the call returns: the search that
  // follows never waits for the system to map its pages. The first table is made at the size
  // given here, unless another is set first; every table made or refused is told to notes.
  TableKeeper(NoteSink& notes, uint32_t megabytes)
      : notes_(notes), wanted_(megabytes), made_(megabytes) {}

  // The threads that write the next tables: those the search is set to use, so that an engine
  // given one core keeps to it also while it clears.
  void setThreads(unsigned threads);

  // Makes the table at the size set if there is none. When that size cannot be had, the table is
  // made at the first size instead, and the size refused is returned (0 when none was).
  uint32_t ensure();
  // Empties the table, or makes it at the size set (a new game); only while no search runs.
  void recreate();
  // Sets the size in megabytes: the table is remade at once when no search uses it, and
  // otherwise when that search ends; before the first table is made, the size is only noted.
  // False when the size was refused now: the old table and size stay.
  bool setSize(uint32_t megabytes);
  // The size set, in megabytes.
  uint32_t size() const;
  // Empties the table; while a search uses it, when that search ends. Before the first table is
  // made there is nothing to empty.
  void clear();

  // The pool's side. A search takes the table, made and with any change applied, and gives it
  // back when it ends: a change asked for meanwhile is made then. Both return the size that was
  // refused, or 0.
  uint32_t beginSearch();
  uint32_t endSearch();

  // The table itself: searches probe it; read its figures while no search runs, on the master's
  // thread, or before stopping the search.
  const TranspositionTable& table() const { return table_; }
  TranspositionTable& table() { return table_; }

 private:
  // Makes or empties the table at wanted_; on a refusal the size goes back to the table's.
  // Needs mutex_.
  bool remake();

  NoteSink& notes_;
  TranspositionTable table_;
  // Guards the sizes, the threads, the change pending and the search's hold on the table: the
  // command thread sets them while the master search thread ends its search.
  mutable std::mutex mutex_;
  unsigned threads_ = 1;
  uint32_t wanted_;
  uint32_t made_;  // the size the table was made with
  bool pending_ = false;
  bool inUse_ = false;
};

}  // namespace varnu
