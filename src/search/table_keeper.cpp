#include "search/table_keeper.h"

namespace varnu {

uint32_t TableKeeper::ensure() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (table_.entryCount() > 0) return 0;
  const uint32_t wanted = wanted_;
  if (remake()) return 0;
  // A refusal puts the size back to the one the table was made with, the default at first.
  remake();
  return wanted;
}

void TableKeeper::recreate() {
  std::lock_guard<std::mutex> lock(mutex_);
  remake();
}

bool TableKeeper::remake() {
  pending_ = false;
  notes_.onNote(TableMadeNote{TranspositionTable::cappedMegabytes(wanted_)});
  const uint64_t entriesBefore = table_.entryCount();
  if (table_.resize(wanted_, threads_)) {
    made_ = wanted_;
    // A table emptied in place keeps its pages.
    if (table_.entryCount() != entriesBefore)
      notes_.onNote(TablePagesNote{table_.megabytes(), table_.largePageMegabytes()});
    return true;
  }
  notes_.onNote(
      TableNotMadeNote{TranspositionTable::cappedMegabytes(wanted_), table_.entryCount()});
  wanted_ = made_;
  return false;
}

bool TableKeeper::setSize(uint32_t megabytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  wanted_ = megabytes;
  if (inUse_) {
    pending_ = true;
    return true;
  }
  return table_.entryCount() == 0 || remake();
}

void TableKeeper::setThreads(unsigned threads) {
  std::lock_guard<std::mutex> lock(mutex_);
  threads_ = threads > 0 ? threads : 1;
}

uint32_t TableKeeper::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return wanted_;
}

void TableKeeper::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (inUse_)
    pending_ = true;
  else if (table_.entryCount() > 0)
    remake();
}

uint32_t TableKeeper::beginSearch() {
  std::lock_guard<std::mutex> lock(mutex_);
  // A change that came too late for the end of the last search is made before this one.
  const uint32_t wanted = wanted_;
  const bool refused = pending_ && !remake();
  if (table_.entryCount() == 0) remake();
  inUse_ = true;
  return refused ? wanted : 0;
}

uint32_t TableKeeper::endSearch() {
  std::lock_guard<std::mutex> lock(mutex_);
  inUse_ = false;
  const uint32_t wanted = wanted_;
  return pending_ && !remake() ? wanted : 0;
}

}  // namespace varnu
