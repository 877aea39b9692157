// The engine driven directly, without protocol text and without pauses: each test waits for the
// reports it needs. These tests also run under ThreadSanitizer in CI.
#include "engine/engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/move.h"

namespace varnu {
namespace {

// Keeps what the engine reports, from whichever thread, and lets a test wait for it.
struct Reports : EngineListener {
  void onThinking(const Thinking& t) override {
    record([&] {
      ++thinking;
      depth = t.report.depth;
    });
  }
  void onStatistics(const SearchStatistics&) override {
    record([&] { ++searchesEnded; });
  }
  void onBestMove(const BestMove& best) override {
    record([&] { bestMoves.push_back(best.move); });
  }
  void onEngineMove(const EngineMove& m) override {
    record([&] { engineMoves.push_back(moveToText(m.move, m.notation)); });
  }
  void onPonder(const PonderStart& p) override {
    record([&] { ponderedOn.push_back(moveToText(p.reply, p.notation)); });
  }
  void onSearchPause(bool waiting) override {
    if (pause) pause(waiting);
  }

  void record(const std::function<void()>& change) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      change();
    }
    changed.notify_all();
  }
  // Waits, at most a minute, until the condition holds of the reports.
  bool waitFor(const std::function<bool()>& condition) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(60), condition);
  }
  template <class T>
  T read(const T& field) {
    std::lock_guard<std::mutex> lock(mutex);
    return field;
  }

  std::mutex mutex;
  std::condition_variable changed;
  int thinking = 0;
  int depth = 0;
  int searchesEnded = 0;
  std::vector<Move> bestMoves;
  std::vector<std::string> engineMoves;
  std::vector<std::string> ponderedOn;
  // Called as a search without threads gives way.
  std::function<void(bool waiting)> pause;
};

struct EngineFixture : testing::Test {
  explicit EngineFixture(WorkerMode mode = WorkerMode::Threads) : engine(out, mode) {
    engine.attach(reports, FrontEndStyle{});
    engine.setOption(Setting::Hash, "4", Protocol::Uci);
    engine.setOption(Setting::OwnBook, "false", Protocol::Uci);
    engine.prepare();
  }
  ~EngineFixture() override { engine.detach(reports); }
  static SearchLimits infinite() {
    SearchLimits limits;
    limits.infinite = true;
    return limits;
  }
  // A game's clock with a depth limit, as xboard's "sd" gives it.
  static SearchLimits gameClock(int depth) {
    SearchLimits limits;
    limits.sessionClock = true;
    limits.depth = depth;
    return limits;
  }
  Output out;
  Reports reports;
  Engine engine;
};

// An infinite search keeps its move until it is asked for, also after the search has ended by
// itself (a mate found), and then reports exactly one.
TEST_F(EngineFixture, AnInfiniteSearchReportsItsMoveAtMoveNow) {
  ASSERT_EQ(engine.setPosition("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1").kind,
            PositionResult::Kind::Done);
  ASSERT_TRUE(engine.go(infinite(), SearchGoal::ReportMove));
  EXPECT_TRUE(engine.waitsForStop());
  ASSERT_TRUE(reports.waitFor([&] { return reports.searchesEnded == 1; }));
  EXPECT_TRUE(engine.resultDue());
  EXPECT_TRUE(reports.read(reports.bestMoves).empty());
  engine.moveNow();
  const std::vector<Move> best = reports.read(reports.bestMoves);
  ASSERT_EQ(best.size(), 1u);
  EXPECT_EQ(moveToText(best[0]), "a1a8");
  EXPECT_FALSE(engine.resultDue());
  engine.waitIdle();
  EXPECT_FALSE(engine.thinking());
}

// A stop ends any search with nothing played or reported; a new game during a search ends it
// the same way and starts from the start position.
TEST_F(EngineFixture, StopAndNewGameEndASearchWithoutAMove) {
  ASSERT_TRUE(engine.go(gameClock(0), SearchGoal::PlayMove));
  ASSERT_TRUE(reports.waitFor([&] { return reports.thinking > 0; }));
  engine.stop();
  EXPECT_FALSE(engine.thinking());
  EXPECT_EQ(engine.movesPlayed(), 0);
  ASSERT_EQ(engine.makeMove("e2e4"), MoveResult::Done);
  ASSERT_TRUE(engine.go(infinite(), SearchGoal::ReportMove));
  ASSERT_TRUE(reports.waitFor([&] { return reports.thinking > 1; }));
  engine.newGame();
  EXPECT_FALSE(engine.thinking());
  EXPECT_FALSE(engine.resultDue());
  EXPECT_EQ(engine.movesPlayed(), 0);
  EXPECT_EQ(engine.fen(), std::string(StartFen));
  EXPECT_TRUE(reports.read(reports.bestMoves).empty());
  EXPECT_TRUE(reports.read(reports.engineMoves).empty());
}

// The Ponder setting is read as the engine's move is made, so a change during the search counts;
// the reply pondered on then turns the ponder search into the next move's (a hit), and a miss
// ends it with no move.
TEST_F(EngineFixture, PonderingAfterTheMoveWithAHitAndAMiss) {
  // No clock but the depth: each search runs until it is asked for its move, deep enough for a
  // line with the reply in it.
  SearchLimits untimed;
  untimed.depth = 60;
  ASSERT_TRUE(engine.go(untimed, SearchGoal::PlayMove));
  ASSERT_TRUE(reports.waitFor([&] { return reports.depth >= 4; }));
  EXPECT_EQ(engine.setOption(Setting::Ponder, "true", Protocol::Uci), Options::Result::Done);
  engine.moveNow();
  ASSERT_EQ(reports.read(reports.ponderedOn).size(), 1u);
  EXPECT_TRUE(engine.pondering());
  // The hit: the reply is played and the search goes on under the clock, to its move.
  const std::string reply = reports.read(reports.ponderedOn)[0];
  EXPECT_TRUE(engine.isPonderReply(reply));
  ASSERT_EQ(engine.makeMove(reply), MoveResult::Done);
  SearchLimits quick = gameClock(0);
  quick.moveTime = 5;
  engine.ponderHit(quick);
  ASSERT_TRUE(reports.waitFor([&] { return reports.engineMoves.size() == 2; }));
  EXPECT_EQ(engine.movesPlayed(), 3);
  engine.waitForMove();
  engine.stopPondering();
  engine.waitIdle();
  // The miss, on the next move's pondering.
  reports.record([&] { reports.depth = 0; });
  ASSERT_TRUE(engine.go(untimed, SearchGoal::PlayMove));
  ASSERT_TRUE(reports.waitFor([&] { return reports.depth >= 4; }));
  engine.moveNow();
  EXPECT_TRUE(engine.pondering());
  engine.stopPondering();
  EXPECT_FALSE(engine.pondering());
  engine.waitIdle();
  EXPECT_EQ(reports.read(reports.engineMoves).size(), 3u);
  EXPECT_EQ(engine.movesPlayed(), 4);
}

// A ponder search that reports its move keeps it until the hit; a position without moves has the
// null move for its result, at the hit too.
TEST_F(EngineFixture, AReportedPonderSearchWaitsForItsHit) {
  for (const char* fen : {StartFen.data(), "7k/6Q1/6K1/8/8/8/8/8 b - - 0 1"}) {
    ASSERT_EQ(engine.setPosition(fen).kind, PositionResult::Kind::Done);
    SearchLimits limits = gameClock(2);
    limits.ponder = true;
    ASSERT_TRUE(engine.go(limits, SearchGoal::ReportMove));
    EXPECT_TRUE(engine.waitsForStop());
    EXPECT_TRUE(engine.resultDue());
    engine.ponderHit(gameClock(2));
    ASSERT_TRUE(reports.waitFor([&] { return !reports.bestMoves.empty(); })) << fen;
    EXPECT_EQ(reports.read(reports.bestMoves)[0] == NullMove,
              engine.rootState() == RootState::Checkmated)
        << fen;
    engine.waitIdle();
    reports.record([&] { reports.bestMoves.clear(); });
  }
}

// A playing level's move waits for the time full strength would take only under a clock; under a
// depth limit it comes as soon as its search ends, even with hours on the clock.
TEST_F(EngineFixture, ALevelUnderADepthLimitDoesNotWaitForItsClock) {
  engine.setOption(Setting::SkillLevel, "0", Protocol::Uci);
  SearchLimits limits = gameClock(1);
  limits.sessions.timePerSession = 360000000;
  ASSERT_TRUE(engine.go(limits, SearchGoal::PlayMove));
  EXPECT_TRUE(reports.waitFor([&] { return reports.engineMoves.size() == 1; }));
  engine.stop();
}

// A refused position leaves none: nothing is searched on the one before.
TEST_F(EngineFixture, ARefusedPositionLeavesNone) {
  ASSERT_EQ(engine.makeMove("e2e4"), MoveResult::Done);
  EXPECT_EQ(engine.setPosition("8/8/8/8/8/8/8/8 w - - 0 1").kind, PositionResult::Kind::BadFen);
  EXPECT_FALSE(engine.positionValid());
  EXPECT_EQ(engine.rootState(), RootState::NoPosition);
  EXPECT_FALSE(engine.go(gameClock(1), SearchGoal::PlayMove));
  const std::string_view moves[] = {"e2e4", "e7e5", "e1e3"};
  const PositionResult result = engine.setPosition(StartFen, moves);
  EXPECT_EQ(result.kind, PositionResult::Kind::IllegalMove);
  EXPECT_EQ(result.move, 2u);
  EXPECT_FALSE(engine.positionValid());
  ASSERT_EQ(engine.setPosition(StartFen, std::span(moves, 2)).kind, PositionResult::Kind::Done);
  EXPECT_EQ(engine.movesPlayed(), 2);
}

// Without threads the search runs within go, and the calls that end it come from its pauses, as a
// web page's lines do: a move-now ends an infinite search, with its move.
struct InlineEngine : EngineFixture {
  InlineEngine() : EngineFixture(WorkerMode::Inline) {}
};

TEST_F(InlineEngine, AnInfiniteSearchEndsAtAMoveNowFromItsPause) {
  int pauses = 0;
  reports.pause = [&](bool) {
    if (++pauses == 20) engine.moveNow();
  };
  ASSERT_TRUE(engine.go(infinite(), SearchGoal::ReportMove));
  EXPECT_GE(pauses, 20);
  EXPECT_EQ(reports.read(reports.bestMoves).size(), 1u);
  EXPECT_NE(reports.read(reports.bestMoves)[0], NullMove);
  EXPECT_FALSE(engine.thinking());
  EXPECT_FALSE(engine.resultDue());
}

}  // namespace
}  // namespace varnu
