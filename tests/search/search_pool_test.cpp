// The worker pool across threads. These tests also run under ThreadSanitizer in CI.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <chrono>
#include <thread>
#include <vector>

#include "board/fen.h"
#include "board/move.h"
#include "search/search_pool.h"

namespace varnu {
namespace {

struct Recorder : SearchListener {
  void onSearchDone(Move m) override {
    last.store(m);
    count.fetch_add(1);
  }
  std::atomic<int> count{0};
  std::atomic<Move> last{NullMove};
};

struct PoolFixture : testing::Test {
  PoolFixture() : pool(out, clock) {
    pool.setHashSize(8);
    pool.bookUse = false;
    EXPECT_TRUE(setFromFen(game, "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3"));
  }
  Output out;
  TimeControl clock;
  SearchPool pool;
  Position game;
  Recorder recorder;
};

TEST_F(PoolFixture, TwoWorkersDeliverExactlyOneLegalMove) {
  pool.setCores(2);
  clock.depthLimited = true;
  clock.maxDepth = 5;
  pool.startSearch(game, 4, &recorder);
  pool.waitIdle();
  EXPECT_FALSE(pool.anyBusy());
  EXPECT_EQ(recorder.count.load(), 1);
  Position copy = game;
  EXPECT_NE(parseUserMove(copy, moveToText(recorder.last.load())), NullMove);
  EXPECT_EQ(pool.workerCount(), std::min(2u, pool.maxCores()));
}

TEST_F(PoolFixture, AbortStopsEveryWorkerAndPlaysNoMove) {
  pool.setCores(2);
  clock.timeControlActive = false;  // an analysis: it would run on forever
  pool.startSearch(game, 4, &recorder);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(pool.anyBusy());
  pool.abortSearch();
  EXPECT_FALSE(pool.anyBusy());
  EXPECT_EQ(recorder.count.load(), 0);
}

TEST_F(PoolFixture, AStopWhileStartingIsNotLost) {
  pool.setCores(2);
  clock.depthLimited = true;
  clock.maxDepth = 30;
  for (int i = 0; i < 50; ++i) {
    pool.startSearch(game, 4, &recorder);
    pool.abortSearch();
    ASSERT_FALSE(pool.anyBusy());
  }
  EXPECT_EQ(recorder.count.load(), 0);
}

// A book move comes so fast that a stop may arrive before or after it: either way, once the
// abort returns, the move has been played or suppressed for good, and the pool is idle.
TEST_F(PoolFixture, AbortAroundABookMoveLeavesNothingPending) {
  const std::string path = testing::TempDir() + "varnu_pool_book.bin";
  const unsigned char record[16] = {0x46, 0x3b, 0x96, 0x18, 0x16, 0x91, 0xfc, 0x9c,
                                    0x03, 0x1c, 0x00, 0x01, 0, 0, 0, 0};  // e2e4 from the start
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(record), 16);
  pool.book().setPath(path);
  pool.bookUse = true;
  pool.setCores(2);
  ASSERT_TRUE(setFromFen(game, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"));
  for (int i = 0; i < 50; ++i) {
    pool.startSearch(game, 0, &recorder);
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
  clock.timePerSession = 200;  // two seconds for 40 moves: a budget of a few centiseconds
  pool.startSearch(game, 4, &recorder);
  pool.waitIdle();
  EXPECT_EQ(recorder.count.load(), 1);
  EXPECT_NE(out.captured().find("# set maxTime = 4\n"), std::string::npos) << out.captured();
}

TEST_F(PoolFixture, HashResizeWaitsUntilTheWorkersAreIdle) {
  clock.timeControlActive = false;
  pool.startSearch(game, 4, &recorder);
  const uint32_t before = pool.table().entryCount();
  pool.setHashSize(4);
  EXPECT_EQ(pool.table().entryCount(), before);  // the running search keeps its table
  pool.abortSearch();
  clock.timeControlActive = true;
  clock.depthLimited = true;
  clock.maxDepth = 1;
  pool.startSearch(game, 4, &recorder);
  pool.waitIdle();
  EXPECT_EQ(pool.table().entryCount(), 4u * 1048576 / 16);
}

// A size set during a search is made as the search ends, before the workers count as idle, so
// that the table is ready for whatever follows.
TEST_F(PoolFixture, AResizeDuringASearchIsMadeAsItEnds) {
  clock.timeControlActive = false;
  pool.startSearch(game, 4, &recorder);
  EXPECT_TRUE(pool.setHashSize(2));
  pool.abortSearch();
  EXPECT_EQ(pool.table().entryCount(), 2u * 1048576 / 16);
  EXPECT_EQ(pool.hashSize(), 2u);
}

TEST_F(PoolFixture, CoresAreCappedAtTheProcessors) {
  out.clearCaptured();
  pool.setCores(100000);
  EXPECT_EQ(out.captured(), "# will now use " + std::to_string(pool.maxCores()) +
                                " cores (requested=100000, current=" +
                                std::to_string(pool.workerCount()) + ", max=" +
                                std::to_string(pool.maxCores()) + ")\n");
  EXPECT_EQ(pool.requestedCores(), pool.maxCores());
}

TEST_F(PoolFixture, NoPostMeansNoThinkingAndNoStatistics) {
  pool.postThinking = false;
  clock.depthLimited = true;
  clock.maxDepth = 3;
  out.clearCaptured();
  pool.startSearch(game, 4, &recorder);
  pool.waitIdle();
  const std::string text = out.captured();
  EXPECT_EQ(text.find("\n1 "), std::string::npos);
  EXPECT_EQ(text.find("# total nodes"), std::string::npos);
  EXPECT_EQ(recorder.count.load(), 1);
}

// A ponder search under a clock whose budget is long spent keeps searching until its hit, and
// then ends under that clock with one move.
TEST_F(PoolFixture, APonderSearchWaitsForItsHitThenKeepsTheClock) {
  pool.setCores(2);
  clock.setMoveTime(1);  // a budget below nothing: any plain search would stop at once
  SearchRequest request;
  request.moveWanted = true;
  request.ponder = true;
  pool.startSearch(game, 4, &recorder, request);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_TRUE(pool.pondering());
  EXPECT_EQ(recorder.count.load(), 0);
  pool.ponderHit();
  pool.waitIdle();
  EXPECT_FALSE(pool.pondering());
  EXPECT_EQ(recorder.count.load(), 1);
}

// The listener asks for a ponder search after every move; an abort at any moment around the
// move must leave the pool idle (a ponder search started after an abort would never end).
struct PonderingRecorder : Recorder {
  SearchPool* pool = nullptr;
  PonderJob job;
  void onSearchDone(Move m) override {
    Recorder::onSearchDone(m);
    pool->ponderNext(job);
  }
};

TEST_F(PoolFixture, AnAbortAroundTheMoveLeavesNoPonderSearchRunning) {
  pool.setCores(2);
  clock.depthLimited = true;
  clock.maxDepth = 2;
  PonderingRecorder ponderer;
  ponderer.pool = &pool;
  ponderer.job.position = game;
  ponderer.job.gamePly = 4;
  for (int i = 0; i < 40; ++i) {
    pool.startSearch(game, 4, &ponderer);
    std::this_thread::sleep_for(std::chrono::microseconds(100 * (i % 8)));
    pool.abortSearch();
    ASSERT_FALSE(pool.anyBusy());
    ASSERT_FALSE(pool.pondering());
  }
}

// Every completed depth reports its three lines in order, each on a root move of its own, and
// the move played is the first line's, also with a second worker searching the same lines.
TEST_F(PoolFixture, SeveralLinesPerDepthOnDistinctMovesAndLineOnePlays) {
  struct Lines : Recorder {
    void onThinking(const ThinkingReport& r) override {
      reports.push_back({r.depth, r.lineNumber, r.iterationDone, r.line->moves[0]});
    }
    struct Seen {
      int depth, number;
      bool done;
      Move first;
    };
    std::vector<Seen> reports;  // written on the master's thread, read after waitIdle
  } lines;
  pool.setCores(2);
  clock.depthLimited = true;
  clock.maxDepth = 6;
  SearchRequest request;
  request.multiPV = 3;
  pool.startSearch(game, 4, &lines, request);
  pool.waitIdle();
  ASSERT_EQ(lines.reports.size(), 18u);
  for (size_t i = 0; i < lines.reports.size(); ++i) {
    const auto& r = lines.reports[i];
    EXPECT_TRUE(r.done);
    EXPECT_EQ(r.depth, int(i / 3) + 1);
    EXPECT_EQ(r.number, int(i % 3) + 1);
    for (size_t j = i - i % 3; j < i; ++j) EXPECT_NE(lines.reports[j].first, r.first);
  }
  EXPECT_EQ(lines.count.load(), 1);
  EXPECT_EQ(lines.last.load(), lines.reports[15].first);
}

}  // namespace
}  // namespace varnu
