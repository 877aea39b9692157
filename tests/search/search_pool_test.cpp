// The worker pool across threads. These tests also run under ThreadSanitizer in CI.
#include "search/search_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "board/fen.h"
#include "board/move.h"

namespace varnu {
namespace {

// Keeps what the pool reports: the moves, the completed lines (on the master's thread, read
// after waitIdle) and the notes (which come on the master's thread or the caller's). With a
// pool to ponder on, it asks for a ponder search after every move, as the engine may.
struct Recorder : SearchListener {
  void onSearchDone(Move m) override {
    last.store(m);
    count.fetch_add(1);
    if (ponderPool) ponderPool->ponder().start(ponderPosition, ponderLimits);
  }
  void onThinking(const ThinkingReport& r) override {
    lines.push_back({r.depth, r.lineNumber, r.iterationDone, r.line->moves[0]});
  }
  void onNote(const Note& note) override {
    std::lock_guard<std::mutex> lock(mutex);
    notes.push_back(note);
  }
  std::vector<Note> takeNotes() {
    std::lock_guard<std::mutex> lock(mutex);
    return std::exchange(notes, {});
  }
  std::atomic<int> count{0};
  std::atomic<Move> last{NullMove};
  struct Line {
    int depth, number;
    bool done;
    Move first;
  };
  std::vector<Line> lines;
  std::mutex mutex;
  std::vector<Note> notes;
  SearchPool* ponderPool = nullptr;
  Position ponderPosition;
  SearchLimits ponderLimits;
};

struct PoolFixture : testing::Test {
  PoolFixture() : pool(recorder, watch, &book, nullptr, 8) {
    EXPECT_TRUE(
        setFromFen(game, "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3"));
  }
  // A game under the default session clock; tests set their own limits.
  static SearchLimits gameClock(int ply) {
    SearchLimits limits;
    limits.sessionClock = true;
    limits.gamePly = ply;
    return limits;
  }
  Recorder recorder;
  Stopwatch watch;
  OpeningBook book{"no such book.bin"};
  SearchPool pool;
  Position game;
};

TEST_F(PoolFixture, TwoWorkersDeliverExactlyOneLegalMove) {
  pool.setCores(2);
  SearchLimits limits = PoolFixture::gameClock(4);
  limits.depth = 5;
  pool.startSearch(game, limits);
  pool.waitIdle();
  EXPECT_FALSE(pool.anyBusy());
  EXPECT_EQ(recorder.count.load(), 1);
  Position copy = game;
  EXPECT_NE(parseUserMove(copy, moveToText(recorder.last.load())), NullMove);
  EXPECT_EQ(pool.workerCount(), std::min(2u, pool.maxCores()));
  // A shallower search of another position next: what the last search's secondary worker
  // completed must not pass for one of its iterations.
  Position other;
  ASSERT_TRUE(
      setFromFen(other, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq - 0 1"));
  limits.depth = 4;
  pool.startSearch(other, limits);
  pool.waitIdle();
  EXPECT_EQ(recorder.count.load(), 2);
  EXPECT_NE(parseUserMove(other, moveToText(recorder.last.load())), NullMove);
}

TEST_F(PoolFixture, AbortStopsEveryWorkerAndPlaysNoMove) {
  pool.setCores(2);
  SearchLimits analysis;  // it would run on forever
  analysis.infinite = true;
  pool.startSearch(game, analysis);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(pool.anyBusy());
  pool.abortSearch();
  EXPECT_FALSE(pool.anyBusy());
  EXPECT_EQ(recorder.count.load(), 0);
}

TEST_F(PoolFixture, AStopWhileStartingIsNotLost) {
  pool.setCores(2);
  SearchLimits limits = PoolFixture::gameClock(4);
  limits.depth = 30;
  for (int i = 0; i < 50; ++i) {
    pool.startSearch(game, limits);
    pool.abortSearch();
    ASSERT_FALSE(pool.anyBusy());
  }
  EXPECT_EQ(recorder.count.load(), 0);
}

// A book move comes so fast that a stop may arrive before or after it: either way, once the
// abort returns, the move has been played or suppressed for good, and the pool is idle.
TEST_F(PoolFixture, AbortAroundABookMoveLeavesNothingPending) {
  const std::string path = testing::TempDir() + "varnu_pool_book.bin";
  const unsigned char record[16] = {0x46, 0x3b, 0x96, 0x18, 0x16, 0x91, 0xfc, 0x9c, 0x03,
                                    0x1c, 0x00, 0x01, 0,    0,    0,    0};  // e2e4 from the start
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(record), 16);
  book.setPath(path);
  pool.setCores(2);
  ASSERT_TRUE(setFromFen(game, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"));
  for (int i = 0; i < 50; ++i) {
    pool.startSearch(game, PoolFixture::gameClock(0));
    pool.abortSearch();
    ASSERT_FALSE(pool.anyBusy());
    const int played = recorder.count.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(recorder.count.load(), played);
  }
  EXPECT_LE(recorder.count.load(), 50);
  if (recorder.count.load() > 0) {
    EXPECT_EQ(moveToText(recorder.last.load()), "e2e4");
  }
  std::remove(path.c_str());
}

TEST_F(PoolFixture, TheClockEndsATimedSearch) {
  SearchLimits limits = PoolFixture::gameClock(4);
  limits.sessions.timePerSession = 200;  // two seconds for 40 moves: a few centiseconds a move
  pool.startSearch(game, limits);
  pool.waitIdle();
  EXPECT_EQ(recorder.count.load(), 1);
  int budgets = 0;
  for (const Note& note : recorder.takeNotes()) {
    if (const auto* budget = std::get_if<BudgetNote>(&note)) {
      EXPECT_EQ(budget->budget.maxTime, 4);
      ++budgets;
    }
  }
  EXPECT_EQ(budgets, 1);
}

TEST_F(PoolFixture, HashResizeWaitsUntilTheWorkersAreIdle) {
  SearchLimits analysis;
  analysis.infinite = true;
  pool.startSearch(game, analysis);
  const uint64_t before = pool.table().table().entryCount();
  pool.table().setSize(4);
  EXPECT_EQ(pool.table().table().entryCount(), before);  // the running search keeps its table
  pool.abortSearch();
  SearchLimits limits = PoolFixture::gameClock(4);
  limits.depth = 1;
  pool.startSearch(game, limits);
  pool.waitIdle();
  EXPECT_EQ(pool.table().table().entryCount(), 4u * 1048576 / 16);
}

// A size set during a search is made as the search ends, before the workers count as idle, so
// that the table is ready for whatever follows.
TEST_F(PoolFixture, AResizeDuringASearchIsMadeAsItEnds) {
  SearchLimits analysis;
  analysis.infinite = true;
  pool.startSearch(game, analysis);
  EXPECT_TRUE(pool.table().setSize(2));
  pool.abortSearch();
  EXPECT_EQ(pool.table().table().entryCount(), 2u * 1048576 / 16);
  EXPECT_EQ(pool.table().size(), 2u);
}

TEST_F(PoolFixture, CoresAreCappedAtTheProcessors) {
  recorder.takeNotes();
  pool.setCores(100000);
  const std::vector<Note> seen = recorder.takeNotes();
  ASSERT_EQ(seen.size(), 1u);
  const CoresNote& cores = std::get<CoresNote>(seen[0]);
  EXPECT_EQ(cores.used, pool.maxCores());
  EXPECT_EQ(cores.requested, 100000u);
  EXPECT_EQ(cores.current, pool.workerCount());
  EXPECT_EQ(cores.max, pool.maxCores());
  EXPECT_EQ(pool.requestedCores(), pool.maxCores());
}

// A ponder search under a clock whose budget is long spent keeps searching until its hit, and
// then ends under that clock with one move.
TEST_F(PoolFixture, APonderSearchWaitsForItsHitThenKeepsTheClock) {
  pool.setCores(2);
  SearchLimits limits = PoolFixture::gameClock(4);
  limits.moveTime = 1;  // a budget below nothing: any plain search would stop at once
  limits.moveOverhead = 10;
  limits.moveWanted = true;
  pool.ponder().start(game, limits);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_TRUE(pool.ponder().active());
  EXPECT_EQ(recorder.count.load(), 0);
  pool.ponder().hit(limits);
  pool.waitIdle();
  EXPECT_FALSE(pool.ponder().active());
  EXPECT_EQ(recorder.count.load(), 1);
}

// The listener asks for a ponder search after every move; an abort at any moment around the
// move must leave the pool idle (a ponder search started after an abort would never end).
TEST_F(PoolFixture, AnAbortAroundTheMoveLeavesNoPonderSearchRunning) {
  pool.setCores(2);
  recorder.ponderPool = &pool;
  recorder.ponderPosition = game;
  recorder.ponderLimits = PoolFixture::gameClock(5);
  SearchLimits limits = PoolFixture::gameClock(4);
  limits.depth = 2;
  for (int i = 0; i < 40; ++i) {
    pool.startSearch(game, limits);
    std::this_thread::sleep_for(std::chrono::microseconds(100 * (i % 8)));
    pool.abortSearch();
    ASSERT_FALSE(pool.anyBusy());
    ASSERT_FALSE(pool.ponder().active());
  }
}

// Every completed depth reports its three lines in order, each on a root move of its own, and
// the move played is the first line's, also with a second worker searching the same lines.
TEST_F(PoolFixture, SeveralLinesPerDepthOnDistinctMovesAndLineOnePlays) {
  Recorder& lines = recorder;
  pool.setCores(2);
  SearchLimits limits = PoolFixture::gameClock(4);
  limits.depth = 6;
  limits.multiPV = 3;
  pool.startSearch(game, limits);
  pool.waitIdle();
  ASSERT_EQ(lines.lines.size(), 18u);
  for (size_t i = 0; i < lines.lines.size(); ++i) {
    const auto& r = lines.lines[i];
    EXPECT_TRUE(r.done);
    EXPECT_EQ(r.depth, int(i / 3) + 1);
    EXPECT_EQ(r.number, int(i % 3) + 1);
    for (size_t j = i - i % 3; j < i; ++j) EXPECT_NE(lines.lines[j].first, r.first);
  }
  EXPECT_EQ(lines.count.load(), 1);
  EXPECT_EQ(lines.last.load(), lines.lines[15].first);
}

}  // namespace
}  // namespace varnu
