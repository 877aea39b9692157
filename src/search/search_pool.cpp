#include "search/search_pool.h"

#include <cinttypes>

#include "board/move.h"
#include "board/movegen.h"

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
  ponderHitPending_ = false;
  ponderReleased_ = false;
  ponderSearch_ = request.ponder;
  ponderStart_ = clockStamp();
  {
    std::lock_guard<std::mutex> lock(ponderMutex_);
    ponderAfterMove_ = false;
  }
  timeControl_.pondering = request.ponder;
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

void SearchPool::startSecondaries() {
  for (size_t i = 1; i < workers_.size(); ++i) {
    Worker& worker = *workers_[i];
    std::lock_guard<std::mutex> lock(worker.mutex);
    worker.searcher->request = request_;
    worker.searcher->stopRequested.store(false);
    worker.searcher->discardResult.store(false);
    worker.jobState.store(Busy);
  }
  for (size_t i = 1; i < workers_.size(); ++i) workers_[i]->wake.notify_all();
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
  {
    // Under the ponder lock, so that the master cannot start a ponder search after its move
    // once the abort has marked it: a ponder job is started only by a master not discarded.
    std::lock_guard<std::mutex> lock(ponderMutex_);
    ponderJobPending_ = false;
    for (auto& worker : workers_) {
      if (worker->jobState.load() == Idle) continue;
      worker->searcher->discardResult.store(true);
      worker->searcher->stopRequested.store(true);
    }
    ponderReleased_ = true;
  }
  ponderWake_.notify_all();
  waitIdle();
}

void SearchPool::abortPonder() {
  {
    std::lock_guard<std::mutex> lock(ponderMutex_);
    ponderJobPending_ = false;
    if (!pondering()) return;
  }
  abortSearch();
}

void SearchPool::moveNow() {
  if (workers_.empty() || workers_[0]->jobState.load() == Idle) return;
  // The master's own time-out does no more than this: it stops after the current node and
  // reports its best move so far, and then stops the other workers. A ponder search hands its
  // move over as well, and nothing follows it; one that began after the engine's move has no
  // move to hand over before its hit and runs on (after the hit it is the search for the move).
  // Under the ponder lock, since the start of such a search clears the master's stop.
  bool released = false;
  {
    std::lock_guard<std::mutex> lock(ponderMutex_);
    if (pondering() && ponderAfterMove_) return;
    released = pondering();
    if (released) ponderReleased_ = true;
    workers_[0]->searcher->stopRequested.store(true);
  }

  ponderWake_.notify_all();
  if (released)
    waitIdle();
  else
    waitForMove();
}

void SearchPool::waitIdle() {
  for (auto& worker : workers_) waitUntilIdle(*worker);
}

void SearchPool::waitForMove() {
  if (workers_.empty()) return;
  Worker& master = *workers_[0];
  bool ponders;
  {
    std::unique_lock<std::mutex> lock(master.mutex);
    master.wake.wait(lock, [&] { return master.jobState.load() != Busy || pondering(); });
    ponders = pondering();
  }
  if (!ponders) waitIdle();
}

void SearchPool::ponderHit() {
  {
    std::lock_guard<std::mutex> lock(ponderMutex_);
    if (!timeControl_.pondering || ponderReleased_) return;
    ponderHitPending_ = true;
  }
  ponderWake_.notify_all();
}

void SearchPool::ponderNext(const PonderJob& job) {
  std::lock_guard<std::mutex> lock(ponderMutex_);
  ponderJob_ = job;
  ponderJob_.request.ponder = true;
  ponderJobPending_ = true;
}

bool SearchPool::startPonderJob() {
  Searcher& master = *workers_[0]->searcher;
  {
    std::lock_guard<std::mutex> lock(ponderMutex_);
    if (!ponderJobPending_ || master.discardResult.load()) {
      ponderJobPending_ = false;
      return false;
    }
    ponderJobPending_ = false;
    game_ = &ponderJob_.position;
    gamePly_ = ponderJob_.gamePly;
    request_ = ponderJob_.request;
    ponderHitPending_ = false;
    ponderReleased_ = false;
    ponderSearch_ = true;
    ponderAfterMove_ = true;
    ponderStart_ = clockStamp();
    master.request = request_;
    master.stopRequested.store(false);
    timeControl_.pondering = true;
  }
  startSecondaries();
  // Whoever waits for the engine's move (a "ping") may go on now.
  Worker& self = *workers_[0];
  { std::lock_guard<std::mutex> lock(self.mutex); }
  self.wake.notify_all();
  return true;
}

void SearchPool::awaitPonderEnd() {
  {
    std::unique_lock<std::mutex> lock(ponderMutex_);
    ponderWake_.wait(lock, [&] { return ponderHitPending_.load() || ponderReleased_.load(); });
  }
  if (ponderHitPending_ && !ponderReleased_)
    endPonder();
  else
    timeControl_.pondering = false;
}

void SearchPool::endPonder() {
  startBudget();
  // In this order, so that pondering() never reads true again for this search.
  timeControl_.pondering = false;
  ponderHitPending_ = false;
}

int32_t SearchPool::searchTime() const {
  if (!ponderSearch_) return timeControl_.stopwatch.sinceMark();
  return int32_t(uint32_t(clockStamp()) - uint32_t(ponderStart_));
}

Move SearchPool::expectedReply(const Position& afterMove) const {
  Move reply = playedLine_.length >= 2 ? playedLine_.moves[1] : NullMove;
  if (reply == NullMove && table_.entryCount() > 0)
    reply = table_.probe(afterMove, -MateScore, MateScore, 0, 0).move;
  if (reply == NullMove) return NullMove;
  // A table move may belong to another position of the same key.
  Position pos = afterMove;
  MoveList legal;
  generateMoves(pos, inCheck(pos), legal);
  for (uint32_t i = 0; i < legal.count; ++i)
    if (sameMove(legal.entries[i].move, reply)) return legal.entries[i].move;
  return NullMove;
}

bool SearchPool::anyBusy() const {
  for (const auto& worker : workers_)
    if (worker->jobState.load() == Busy) return true;
  return false;
}

void SearchPool::startBudget() {
  // The budget counts the time used up to the mark, so a clock tick between starting the watch
  // and reading it cannot change the figures.
  const int32_t elapsed = timeControl_.stopwatch.markAndStart();
  if (timeControl_.timeControlActive) {
    const BudgetFigures budget = timeControl_.budget(gamePly_, elapsed);
    timeControl_.maxTime = budget.maxTime;
    out_.block(budgetLines(budget));
    out_.printf("# set maxTime = %d\n", budget.maxTime);
  }
}

void SearchPool::think() {
  Searcher& master = *workers_[0]->searcher;
  do {
    // A ponder search leaves the watch alone: the time is the opponent's until the hit.
    if (!timeControl_.pondering) startBudget();
    const bool clock = timeControl_.timeControlActive;
    Move move = NullMove;
    if ((clock || request_.moveWanted) && request_.bookAllowed && bookUse) {
      master.position = *game_;
      move = book_.probe(master.position, out_);
    }
    playedLine_.clear();
    if (move == NullMove) {
      move = master.iterate(*game_);
      if (move != NullMove && !master.bestLine.empty() && sameMove(master.bestLine.moves[0], move))
        playedLine_ = master.bestLine;
    }
    stopWorkers();
    if (timeControl_.pondering) awaitPonderEnd();
    // A stop that arrived while the book was probed or the search was starting is not lost.
    if (move != NullMove && !master.discardResult.load() && listener_)
      listener_->onSearchDone(move);
    timeControl_.stopwatch.stop();
  } while (startPonderJob());
}

uint64_t SearchPool::totalNodes() const {
  uint64_t total = 0;
  for (const auto& worker : workers_) total += worker->searcher->nodes.get();
  return total;
}

bool SearchPool::checkTimeout() {
  // A ponder search has no limit until its hit; from then on it runs under the clock's rules.
  if (timeControl_.pondering) {
    if (!ponderHitPending_ || ponderReleased_) return false;
    endPonder();
  }
  // Called every TimeoutInterval of the master's own nodes, so a node limit may be passed by
  // about that many nodes per worker.
  if (request_.nodeLimit > 0 && totalNodes() >= request_.nodeLimit) return true;
  if (!timeControl_.timeUp()) return false;
  out_.line("# timeout");
  return true;
}

}  // namespace varnu
