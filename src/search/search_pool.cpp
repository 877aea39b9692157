#include "search/search_pool.h"

#include <cinttypes>

namespace varnu {

SearchPool::SearchPool(Output& out, TimeControl& timeControl)
    : out_(out), timeControl_(timeControl), book_(DefaultBookPath) {
  const unsigned n = std::thread::hardware_concurrency();
  maxCores_ = n > 0 ? n : 1;
}

SearchPool::~SearchPool() {
  abortSearch();
  discardWorkers();
}

void SearchPool::setCores(int32_t n) {
  requestedCores_ = uint32_t(n) <= maxCores_ ? uint32_t(n) : maxCores_;
  out_.printf("# will now use %u cores (requested=%u, current=%u, max=%u)\n", requestedCores_,
              uint32_t(n), workerCount(), maxCores_);
}

void SearchPool::ensureTable() {
  std::lock_guard<std::mutex> lock(tableMutex_);
  if (table_.entryCount() == 0) remakeTable();
}

void SearchPool::recreateTable() {
  std::lock_guard<std::mutex> lock(tableMutex_);
  remakeTable();
}

bool SearchPool::remakeTable() {
  hashResizePending_ = false;
  if (table_.resize(hashMegabytes_, out_, maxCores_)) {
    tableMegabytes_ = hashMegabytes_;
    return true;
  }
  hashMegabytes_ = tableMegabytes_;
  return false;
}

bool SearchPool::setHashSize(uint32_t megabytes) {
  std::lock_guard<std::mutex> lock(tableMutex_);
  hashMegabytes_ = megabytes;
  if (!anyBusy()) return remakeTable();
  hashResizePending_ = true;
  return true;
}

uint32_t SearchPool::hashSize() const {
  std::lock_guard<std::mutex> lock(tableMutex_);
  return hashMegabytes_;
}

void SearchPool::clearTable() {
  std::lock_guard<std::mutex> lock(tableMutex_);
  if (anyBusy())
    hashResizePending_ = true;
  else
    remakeTable();
}

void SearchPool::applyPendingHashSize(SearchListener* listener) {
  const uint32_t wanted = hashMegabytes_;
  if (hashResizePending_ && !remakeTable() && listener) listener->onTableRefused(wanted);
}

void SearchPool::rebuildWorkers(bool force) {
  if (requestedCores_ == workers_.size() && !force) return;
  discardWorkers();
  for (uint32_t i = 0; i < requestedCores_; ++i) {
    auto worker = std::make_unique<Worker>();
    worker->index = int(i);
    worker->searcher = std::make_unique<Searcher>(int(i), &table_, &timeControl_, this, &out_);
    workers_.push_back(std::move(worker));
  }
  for (auto& worker : workers_)
    worker->thread = std::thread(&SearchPool::run, this, std::ref(*worker));
}

void SearchPool::discardWorkers() {
  for (auto& worker : workers_) {
    setState(*worker, Quit);
    if (worker->thread.joinable()) worker->thread.join();
  }
  workers_.clear();
}

void SearchPool::setState(Worker& worker, JobState state) {
  {
    std::lock_guard<std::mutex> lock(worker.mutex);
    worker.jobState.store(state);
  }
  worker.wake.notify_all();
}

void SearchPool::waitUntilIdle(Worker& worker) {
  std::unique_lock<std::mutex> lock(worker.mutex);
  worker.wake.wait(lock, [&] { return worker.jobState.load() != Busy; });
}

void SearchPool::run(Worker& worker) {
  std::unique_lock<std::mutex> lock(worker.mutex);
  for (;;) {
    worker.wake.wait(lock, [&] { return worker.jobState.load() != Idle; });
    if (worker.jobState.load() == Quit) return;
    lock.unlock();
    std::unique_lock<std::mutex> tableLock(tableMutex_, std::defer_lock);
    if (worker.index == 0) {
      think();
      // A table change asked for during the search is made now, after the move has gone out
      // and while the master still counts as busy: a command that waits for the workers waits
      // for the table too, and the time falls outside every move's budget. The table lock is
      // held until the master is idle, so a change asked for meanwhile is either seen here or
      // finds the workers idle and is made by the command itself. The stop that ended the
      // search (an abort, a "stop") is read with acquire order, so that whatever the command
      // thread did before it, a look at the table say, comes before the change.
      (void)worker.searcher->stopRequested.load(std::memory_order_acquire);
      tableLock.lock();
      applyPendingHashSize(listener_);
    } else {
      worker.searcher->iterate(*game_);
    }
    lock.lock();
    // A busy worker only ever becomes idle here; it counts as busy until its job is complete.
    worker.jobState.store(Idle);
    worker.wake.notify_all();
    if (tableLock.owns_lock()) tableLock.unlock();
  }
}

void SearchPool::startSearch(const Position& game, int gamePly, SearchListener* listener,
                             const SearchRequest& request) {
  {
    // A change that came too late for the end of the last search; the master's clock for this
    // one has not started yet.
    std::lock_guard<std::mutex> lock(tableMutex_);
    applyPendingHashSize(listener);
    if (table_.entryCount() == 0) remakeTable();
  }
  rebuildWorkers(false);
  game_ = &game;
  gamePly_ = gamePly;
  listener_ = listener;
  request_ = request;
  // Every worker is marked busy before any is woken: the master may finish at once (a book
  // move) and must then find the others busy so that it stops and awaits them.
  for (auto& worker : workers_) {
    std::lock_guard<std::mutex> lock(worker->mutex);
    worker->searcher->request = request;
    worker->searcher->stopRequested.store(false);
    worker->searcher->discardResult.store(false);
    worker->jobState.store(Busy);
  }
  for (auto it = workers_.rbegin(); it != workers_.rend(); ++it) (*it)->wake.notify_all();
}

void SearchPool::stopWorkers() {
  for (size_t i = 1; i < workers_.size(); ++i) {
    Worker& worker = *workers_[i];
    if (worker.jobState.load() == Idle) continue;
    worker.searcher->stopRequested.store(true);
    waitUntilIdle(worker);
  }
}

void SearchPool::abortSearch() {
  for (auto& worker : workers_) {
    if (worker->jobState.load() == Idle) continue;
    worker->searcher->discardResult.store(true);
    worker->searcher->stopRequested.store(true);
    waitUntilIdle(*worker);
  }
}

void SearchPool::moveNow() {
  if (workers_.empty() || workers_[0]->jobState.load() == Idle) return;
  // The master's own time-out does no more than this: it stops after the current node and
  // reports its best move so far, and then stops the other workers.
  workers_[0]->searcher->stopRequested.store(true);
  waitIdle();
}

void SearchPool::waitIdle() {
  for (auto& worker : workers_) waitUntilIdle(*worker);
}

bool SearchPool::anyBusy() const {
  for (const auto& worker : workers_)
    if (worker->jobState.load() == Busy) return true;
  return false;
}

void SearchPool::think() {
  Searcher& master = *workers_[0]->searcher;
  Stopwatch& watch = timeControl_.stopwatch;
  // The budget counts the time used up to the mark, so a clock tick between starting the watch
  // and reading it cannot change the figures.
  const int32_t elapsed = watch.markAndStart();
  const bool clock = timeControl_.timeControlActive;
  if (clock) {
    const BudgetFigures budget = timeControl_.budget(gamePly_, elapsed);
    timeControl_.maxTime = budget.maxTime;
    out_.block(budgetLines(budget));
    out_.printf("# set maxTime = %d\n", budget.maxTime);
  }
  Move move = NullMove;
  if ((clock || request_.moveWanted) && request_.bookAllowed && bookUse) {
    master.position = *game_;
    move = book_.probe(master.position, out_);
  }
  if (move == NullMove) move = master.iterate(*game_);
  stopWorkers();
  // A stop that arrived while the book was probed or the search was starting is not lost.
  if (move != NullMove && !master.discardResult.load() && listener_) listener_->onSearchDone(move);
  watch.stop();
}

uint64_t SearchPool::totalNodes() const {
  uint64_t total = 0;
  for (const auto& worker : workers_) total += worker->searcher->nodes.get();
  return total;
}

bool SearchPool::checkTimeout() {
  // Called every TimeoutInterval of the master's own nodes, so a node limit may be passed by
  // about that many nodes per worker.
  if (request_.nodeLimit > 0 && totalNodes() >= request_.nodeLimit) return true;
  if (!timeControl_.timeUp()) return false;
  out_.line("# timeout");
  return true;
}

}  // namespace varnu
