#include "search/search_pool.h"

#include <algorithm>
#include <chrono>

#include "board/move.h"
#include "board/movegen.h"
#include "platform/threads.h"
#include "search/playing_level.h"

namespace varnu {

WorkerMode defaultWorkerMode() {
  return CanStartThreads ? WorkerMode::Threads : WorkerMode::Inline;
}

// Each worker a thread of its own: the caller goes on while they search, and waits on a worker's
// lock and wake.
class SearchPool::ThreadedRunner : public Runner {
 public:
  explicit ThreadedRunner(SearchPool& pool) : pool_(pool) {}
  uint32_t maxWorkers() const override { return processorCount(); }
  void launch(Worker& worker) override {
    worker.thread = std::thread(&SearchPool::run, &pool_, std::ref(worker));
  }
  void begin(Worker&) override {}
  void await(Worker& worker, const std::function<bool()>& done) override {
    std::unique_lock<std::mutex> lock(worker.mutex);
    worker.wake.wait(lock, done);
  }
  // The master's own waits block on the ponder lock, but for a level's, which sleeps a moment.
  void pause(bool waiting) override {
    if (waiting) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  void settle(const std::function<bool()>&) override {}

 private:
  SearchPool& pool_;
};

// The master alone, on the caller's thread: the search runs within startSearch, every wait for a
// worker returns at once (the master is idle whenever its search has returned, and nothing its
// pause runs waits for it), and the master's waits give way to the listener.
class SearchPool::InlineRunner : public Runner {
 public:
  explicit InlineRunner(SearchPool& pool) : pool_(pool) {}
  uint32_t maxWorkers() const override { return 1; }
  void launch(Worker&) override {}
  void begin(Worker& master) override {
    pool_.masterJob(master);
    master.jobState.store(Idle);
  }
  void await(Worker&, const std::function<bool()>&) override {}
  void pause(bool waiting) override { pool_.listener_.onSearchPause(waiting); }
  void settle(const std::function<bool()>& settled) override {
    while (!settled()) pause(true);
  }

 private:
  SearchPool& pool_;
};

SearchPool::SearchPool(SearchListener& listener, Stopwatch& watch, OpeningBook* book,
                       const Tablebases* tablebases, uint32_t tableMegabytes, WorkerMode mode)
    : listener_(listener),
      book_(book),
      tablebases_(tablebases),
      runner_(mode == WorkerMode::Threads ? std::unique_ptr<Runner>(new ThreadedRunner(*this))
                                          : std::unique_ptr<Runner>(new InlineRunner(*this))),
      table_(listener, tableMegabytes),
      timer_(watch),
      ponder_(*this),
      maxCores_(runner_->maxWorkers()) {}

SearchPool::~SearchPool() {
  abortSearch();
  discardWorkers();
}

void SearchPool::setCores(int32_t n) {
  requestedCores_ = uint32_t(n) <= maxCores_ ? uint32_t(n) : maxCores_;
  table_.setThreads(requestedCores_);
  listener_.onNote(CoresNote{requestedCores_, uint32_t(n), workerCount(), maxCores_});
}

void SearchPool::rebuildWorkers(bool force) {
  if (requestedCores_ == workers_.size() && !force) return;
  discardWorkers();
  for (uint32_t i = 0; i < requestedCores_; ++i) {
    auto worker = std::make_unique<Worker>();
    worker->index = int(i);
    worker->searcher = std::make_unique<Searcher>(int(i), &table_.table(), &timer_, this);
    worker->searcher->tablebases = tablebases_;
    workers_.push_back(std::move(worker));
  }
  for (auto& worker : workers_) runner_->launch(*worker);
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
  runner_->await(worker, [&] { return worker.jobState.load() != Busy; });
}

void SearchPool::run(Worker& worker) {
  std::unique_lock<std::mutex> lock(worker.mutex);
  for (;;) {
    worker.wake.wait(lock, [&] { return worker.jobState.load() != Idle; });
    if (worker.jobState.load() == Quit) return;
    lock.unlock();
    if (worker.index == 0) {
      masterJob(worker);
    } else {
      worker.searcher->iterate(*game_);
    }
    lock.lock();
    // A busy worker only ever becomes idle here; it counts as busy until its job is complete.
    worker.jobState.store(Idle);
    worker.wake.notify_all();
  }
}

void SearchPool::masterJob(Worker& master) {
  think();
  // A table change asked for during the search is made now, after the move has gone out and
  // while the master still counts as busy: a command that waits for the workers waits for the
  // table too, and the time falls outside every move's budget. The stop that ended the search
  // (an abort, a "stop") is read with acquire order, so that whatever the command thread did
  // before it, a look at the table say, comes before the change.
  (void)master.searcher->stopRequested.load(std::memory_order_acquire);
  noteRefusedSize(table_.endSearch());
}

void SearchPool::noteRefusedSize(uint32_t megabytes) {
  if (megabytes) listener_.onNote(HashRefusedNote{megabytes, table_.table().megabytes()});
}

void SearchPool::startSearch(const Position& game, const SearchLimits& limits) {
  // A change that came too late for the end of the last search; the master's clock for this
  // one has not started yet.
  noteRefusedSize(table_.beginSearch());
  rebuildWorkers(false);
  ponder_.beginSearch(limits.ponder);
  prepareSearch(game, limits, false);
  runner_->begin(*workers_[0]);
}

void SearchPool::prepareSearch(const Position& game, const SearchLimits& limits,
                               bool secondariesOnly) {
  game_ = &game;
  limits_ = limits;
  SearchLimits workerLimits = limits;
  rankRootByTables(game, workerLimits);
  // A level is searched by the master alone, so that it plays alike whatever the threads. Under
  // a depth or node limit of its own it waits for no clock.
  levelSearch_ = levelApplies(game, workerLimits);
  levelWaits_ = limits.depth == 0 && limits.nodes == 0;
  stopCommandsAtStart_ = stopCommands_.load();
  if (levelSearch_) {
    applyLevel(workerLimits);
    limits_.nodes = workerLimits.nodes;  // the master's clock test keeps the level's nodes
  }
  if (secondariesOnly) workers_[0]->searcher->limits = workerLimits;
  // Every worker is marked busy before any is woken: the master may finish at once (a book
  // move) and must then find the others busy so that it stops and awaits them.
  const size_t first = secondariesOnly ? 1 : 0;
  const size_t last = levelSearch_ ? std::min<size_t>(1, workers_.size()) : workers_.size();
  // A level's search leaves the other workers idle: their counts from the last search would
  // pass for this one's, in its reports and against the level's node budget, which then cut its
  // search short. They are zeroed before the master is woken, which reads them.
  for (size_t i = last; i < workers_.size(); ++i) workers_[i]->searcher->clearCounts();
  // A worker that searches alone keeps the tree it has always searched.
  BusyMoves* const marks = last > 1 ? &busyMoves_ : nullptr;
  // The workers take over one another's completed iterations only in a search of one line.
  SharedIteration* const iterations =
      last > 1 && workerLimits.multiPV <= 1 ? &iterations_ : nullptr;
  iterations_.reset();
  if (secondariesOnly) {
    workers_[0]->searcher->busyMoves = marks;
    workers_[0]->searcher->iterations = iterations;
  }
  for (size_t i = first; i < last; ++i) {
    Worker& worker = *workers_[i];
    std::lock_guard<std::mutex> lock(worker.mutex);
    worker.searcher->limits = workerLimits;
    worker.searcher->busyMoves = marks;
    worker.searcher->iterations = iterations;
    worker.searcher->stopRequested.store(false);
    worker.searcher->discardResult.store(false);
    worker.jobState.store(Busy);
  }
  for (size_t i = last; i-- > first;) workers_[i]->wake.notify_all();
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
  ++stopCommands_;
  ponder_.release([&] {
    for (auto& worker : workers_) {
      if (worker->jobState.load() == Idle) continue;
      worker->searcher->discardResult.store(true);
      worker->searcher->stopRequested.store(true);
    }
  });
  waitIdle();
}

void SearchPool::moveNow() {
  ++stopCommands_;
  if (workers_.empty() || workers_[0]->jobState.load() == Idle) return;
  // The master's own time-out does no more than this: it stops after the current node and
  // reports its best move so far, and then stops the other workers.
  bool released = false;
  if (!ponder_.releaseForMove([&] { workers_[0]->searcher->stopRequested.store(true); }, released))
    return;
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
  runner_->await(master, [&] { return master.jobState.load() != Busy || ponder_.active(); });
  if (!ponder_.active()) waitIdle();
}

Move SearchPool::expectedReply(const Position& afterMove) const {
  Move reply = playedLine_.length >= 2 ? playedLine_.moves[1] : NullMove;
  const TranspositionTable& table = table_.table();
  if (reply == NullMove && table.entryCount() > 0)
    reply = table.probe(afterMove, -MateScore, MateScore, 0, 0).move;
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

void SearchPool::think() {
  Searcher& master = *workers_[0]->searcher;
  for (;;) {
    const int side = game_->sideToMove;
    // A ponder search leaves the watch alone: the time is the opponent's until the hit.
    if (ponder_.ponders())
      timer_.suspend();
    else
      startClock(limits_, side);
    Move move = NullMove;
    // A root without a legal move has nothing to search: its result is the null move.
    Position root = *game_;
    const bool rootHasMoves = countMoves(root, inCheck(root)) > 0;
    // A root in the endgame tables is answered by them, not by the book.
    if ((limits_.timed(side) || limits_.moveWanted) && limits_.bookAllowed && book_ &&
        rootTableMoves_.count == 0 && rootHasMoves) {
      master.position = *game_;
      int failure = 0;
      move = book_->probe(master.position, failure);
      if (failure != 0) listener_.onNote(BookFailureNote{failure});
    }
    playedLine_.clear();
    if (move == NullMove && rootHasMoves) {
      move = master.iterate(*game_);
      if (move != NullMove && !master.bestLine.empty() && sameMove(master.bestLine.moves[0], move))
        playedLine_ = master.bestLine;
      // A level plays one of the lines it searched, by the game's seed.
      if (move != NullMove && levelSearch_ && master.lineCount() > 1) {
        const SearchLimits& searched = master.limits;
        const int i = chooseLine(master.lines(), master.lineCount(), searched.level.elo,
                                 searched.level.seed, game_->historyCount);
        playedLine_ = master.lines()[i].line;
        move = playedLine_.moves[0];
      }
    }
    stopWorkers();
    SearchLimits hit;
    if (ponder_.ponders()) {
      runner_->settle([&] { return ponder_.settled(); });
      if (ponder_.awaitHit(hit)) startClock(hit, side);
    } else if (limits_.infinite && limits_.moveWanted) {
      // An infinite search's move waits for the stop, however soon the search is over.
      runner_->settle([&] { return ponder_.released(); });
      ponder_.awaitRelease();
    }
    if (levelSearch_ && move != NullMove) waitLikeFullStrength();
    // A stop that arrived while the book was probed or the search was starting is not lost.
    const bool deliver = move != NullMove || (!rootHasMoves && limits_.moveWanted);
    if (deliver && !master.discardResult.load()) {
      ponder_.setDelivering(true);
      listener_.onSearchDone(move);
      ponder_.setDelivering(false);
    }
    timer_.stop();

    // The ponder search that the listener asked for, if no abort came first. The master's stop
    // is cleared under the ponder lock, where a move-now sets it.
    SearchLimits limits;
    const Position* next = ponder_.takeQueued(limits, [&] {
      if (master.discardResult.load()) return false;
      master.stopRequested.store(false);
      return true;
    });
    if (!next) return;
    prepareSearch(*next, limits, true);
    // Whoever waits for the engine's move (a "ping") may go on now.
    Worker& self = *workers_[0];
    { std::lock_guard<std::mutex> lock(self.mutex); }
    self.wake.notify_all();
  }
}

void SearchPool::startClock(const SearchLimits& limits, int side) {
  timer_.start(limits, side, &listener_);
  fixedMoveTime_ = limits.moveTime > 0;
}

void SearchPool::waitLikeFullStrength() {
  if (!timer_.budgeted() || !levelWaits_) return;
  // Under a fixed time per move full strength searches to the end of its budget. Under a clock
  // it ends most searches between half the budget and all of it (its easy moves sooner); this is
  // its mean at fast controls.
  const int32_t target = fixedMoveTime_ ? timer_.maxTime() : timer_.maxTime() * 5 / 8;
  while (stopCommands_.load() == stopCommandsAtStart_ && timer_.spent() < target)
    runner_->pause(true);
}

void SearchPool::rankRootByTables(const Position& game, SearchLimits& limits) {
  rootTableMoves_.count = 0;
  rootTableHits_ = 0;
  if (!tablesInUse() || limits.tablebases.probeLimit == 0 ||
      popCount(game.occupied()) > limits.tablebases.probeLimit)
    return;
  Position pos = game;
  MoveList moves;
  generateMoves(pos, inCheck(pos), moves);
  keepAllowedMoves(limits, moves);
  if (moves.count == 0) return;
  RootRanking ranking;
  if (!tablebases_->rankRoot(game, moves, limits.tablebases.rule50, ranking)) return;
  rootTableHits_ = moves.count;
  const int best = *std::max_element(ranking.rank, ranking.rank + moves.count);
  for (uint32_t i = 0; i < moves.count; ++i) {
    if (ranking.rank[i] != best) continue;
    rootTableScores_[rootTableMoves_.count] = ranking.score[i];
    rootTableMoves_.add(moves.entries[i].move);
  }
  // The search plays among the moves kept. Where DTZ ranked them they all keep the result, and
  // the search needs no more probes; where only WDL could, the search probes on to convert a win.
  limits.searchMoves = rootTableMoves_;
  limits.excluded.count = 0;
  if (ranking.byDistance || rootTableScores_[0] <= 0) limits.tablebases.probeLimit = 0;
}

uint64_t SearchPool::totalTableHits() const {
  uint64_t total = rootTableHits_;
  for (const auto& worker : workers_) total += worker->searcher->tableHits.get();
  return total;
}

uint64_t SearchPool::totalNodes() const {
  uint64_t total = 0;
  for (const auto& worker : workers_) total += worker->searcher->nodes.get();
  return total;
}

bool SearchPool::checkTimeout() {
  runner_->pause(false);
  // Called every TimeoutInterval of the master's own nodes, so a node limit may be passed by
  // about that many nodes per worker. A node limit (a level's among them) holds while pondering
  // too: the search's move is the same whenever the hit comes, and waits for it.
  if (limits_.nodes > 0 && totalNodes() >= limits_.nodes) return true;
  // A ponder search has no time limit until its hit; from then on it runs under the clock's
  // rules.
  if (ponder_.ponders()) {
    SearchLimits hit;
    if (!ponder_.takeHit(hit)) return false;
    startClock(hit, game_->sideToMove);
  }
  if (!timer_.timeUp()) return false;
  listener_.onNote(TimeoutNote{});
  return true;
}

}  // namespace varnu
