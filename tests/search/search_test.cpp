#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/make_move.h"
#include "board/move.h"
#include "board/movegen.h"
#include "eval/evaluate.h"
#include "search/reported_line.h"
#include "search/searcher.h"

namespace varnu {
namespace {

// Keeps what a searcher reports, and stops it at its node limit as the pool does.
struct Reports : SearchHost {
  struct Report {
    int depth, score;
    PVLine line;
    LineTag tag;
    bool iteration;  // a line of a completed depth, not a new best line
  };
  bool checkTimeout() override {
    return searcher->limits.nodes > 0 && searcher->nodes.get() >= searcher->limits.nodes;
  }
  void reportThinking(int depth, int score, const PVLine& line, LineTag tag) override {
    seen.push_back({depth, score, line, tag, false});
  }
  void reportIteration(int depth, int score, const PVLine& line, LineTag tag) override {
    seen.push_back({depth, score, line, tag, true});
  }
  void printStatistics() override {}
  // The stop rules, as "<rule> <plies> <move>".
  void onNote(const Note& note) override {
    static constexpr const char* names[] = {"forced move", "easy move",   "no time",
                                            "forced draw", "forced mate", "getting mated"};
    if (const auto* stop = std::get_if<StopRuleNote>(&note))
      stops += std::string(names[int(stop->rule)]) + " " + std::to_string(stop->plies) + " " +
               moveToText(stop->move) + "\n";
  }
  const Searcher* searcher = nullptr;
  std::vector<Report> seen;
  std::string stops;
};

// The line's moves as the front ends print them.
std::string text(const PVLine& line) {
  std::string t;
  appendMoveTexts(t, line);
  return t;
}

// One searcher on its own table, searching to a fixed depth with the clock out of the way; it
// reports to reports, which also keeps its node limit.
struct Search {
  explicit Search(int depth, uint32_t megabytes = 16) {
    table.resize(megabytes);
    SearchLimits limits;
    limits.moveTime = 1 << 30;
    limits.depth = depth;
    timer.start(limits, White, nullptr);
    searcher = std::make_unique<Searcher>(0, &table, &timer, &reports);
    searcher->limits = limits;
    reports.searcher = searcher.get();
  }
  Move run(const char* fen) {
    Position pos;
    EXPECT_TRUE(setFromFen(pos, fen)) << fen;
    return searcher->iterate(pos);
  }
  // Places the position in the searcher for direct calls of the node searches.
  Position& set(const char* fen) {
    EXPECT_TRUE(setFromFen(searcher->position, fen)) << fen;
    return searcher->position;
  }
  TranspositionTable table;
  Stopwatch watch;
  MoveTimer timer{watch};
  Reports reports;
  std::unique_ptr<Searcher> searcher;
};

TEST(Search, MateInOne) {
  Search s(4);
  const Move m = s.run("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
  EXPECT_EQ(moveToText(m), "a1a8");
  EXPECT_EQ(s.searcher->bestScore, MateScore - 1);
  EXPECT_EQ(s.reports.stops, "forced mate 1 a1a8\n");
}

TEST(Search, MateInTwo) {
  Search s(6);
  // Doubled rooks on the open file: 1. Re8+ Rxe8 2. Rxe8 mate.
  const Move m = s.run("r5k1/5ppp/8/8/8/8/4RPPP/4R1K1 w - - 0 1");
  EXPECT_EQ(s.searcher->bestScore, MateScore - 3);
  EXPECT_EQ(s.reports.stops, "forced mate 3 " + moveToText(m) + "\n");
}

TEST(Search, GettingMated) {
  Search s(6);
  // In check, black can step aside or interpose; either way the queen mates next.
  const Move m = s.run("7k/r7/5QK1/8/8/8/8/8 b - - 0 1");
  EXPECT_EQ(s.searcher->bestScore, -(MateScore - 2));
  EXPECT_EQ(s.reports.stops, "getting mated 2 " + moveToText(m) + "\n");
}

TEST(Search, ForcedMoveAndForcedDraw) {
  Search s(10);
  s.run("7k/8/8/8/8/8/1R6/K5R1 b - - 0 1");
  EXPECT_EQ(s.reports.stops, "forced move 0 h8h7\n");
  Search bare(10);
  bare.run("8/8/8/4k3/8/8/3NK3/8 b - - 0 1");  // every line is a material draw
  EXPECT_EQ(bare.reports.stops.rfind("forced draw 0 ", 0), 0u) << bare.reports.stops;
}

// A mate score beyond the depth's mate bound (or a loss against a bare king) must not turn the
// window inside out: that would end the iteration at once with a meaningless score.
TEST(Search, AspirationWindowNeverCloses) {
  const struct {
    int bestScore, lowerMate, upperMate, alpha, beta;
  } cases[] = {
      {25, -31998, 31999, -5, 55},
      {31980, -31994, 31993, 31950, 31994},
      {31997, -31960, 31959, 31959, 31960},
      {-31997, -31960, 31959, -31961, -31960},
      {-100, 0, 31999, -1, 0},
  };
  for (const auto& c : cases) {
    const Window w = aspirationWindow(c.bestScore, c.lowerMate, c.upperMate);
    EXPECT_EQ(w.alpha, c.alpha) << c.bestScore;
    EXPECT_EQ(w.beta, c.beta) << c.bestScore;
  }
}

// More moves mate in two than lines are asked for. The depth that finds the mates holds two lines,
// both mates shorter than its mate bound, before it has tried every mating move; each later move
// must still be tested against the last line, or a mate in two is lost to a mate in three.
TEST(Search, SeveralLinesOfMatesKeepTheShortest) {
  const struct {
    const char* fen;
    const char* matesInTwo;
  } cases[] = {
      {"7k/Q1p4B/5P2/2K3P1/8/8/7p/8 w - - 0 1", "a7c7 h7g6 g5g6"},
      {"6k1/4Q1N1/8/4P3/8/5Kpp/7B/8 w - - 0 1", "g7e6 g7e8 g7f5 g7h5"},
  };
  for (const auto& c : cases) {
    Search s(8, 16);
    s.searcher->limits.multiPV = 2;
    s.run(c.fen);
    std::vector<Reports::Report> last;
    for (const auto& r : s.reports.seen)
      if (r.iteration && r.depth == s.searcher->completedDepth) last.push_back(r);
    ASSERT_EQ(last.size(), 2u) << c.fen;
    for (int i = 0; i < 2; ++i) {
      const std::string move = moveToText(last[i].line.moves[0]);
      EXPECT_EQ(last[i].tag.number, i + 1) << c.fen;
      EXPECT_EQ(last[i].score, MateScore - 3) << c.fen << " " << move;
      EXPECT_NE(std::string(c.matesInTwo).find(move), std::string::npos) << c.fen << " " << move;
    }
    EXPECT_NE(last[0].line.moves[0], last[1].line.moves[0]) << c.fen;
  }
}

// As many mates in two as lines or more: every line shows one, with its own length. The moves
// beyond the lines are tested against the last line's score, and against a score short of a mate
// the pruning near the leaves can hide a mate in two; the search must not end on the first line's
// mate while such a test shows another line without one, or with a longer mate than its own.
TEST(Search, SeveralLinesShowEveryMateInTwo) {
  const struct {
    const char* fen;
    int lines;
    const char* matesInTwo;
  } cases[] = {
      {"6k1/4Q1N1/8/4P3/8/5Kpp/7B/8 w - - 0 1", 3, "g7e6 g7e8 g7f5 g7h5"},
      {"6k1/4Q1N1/8/4P3/8/5Kpp/7B/8 w - - 0 1", 4, "g7e6 g7e8 g7f5 g7h5"},
      {"7k/Q1p4B/5P2/2K3P1/8/8/7p/8 w - - 0 1", 3, "a7c7 h7g6 g5g6"},
  };
  for (const auto& c : cases) {
    Search s(8, 16);
    s.searcher->limits.multiPV = c.lines;
    s.run(c.fen);
    std::string shown;
    for (const auto& r : s.reports.seen) {
      if (!r.iteration || r.depth != s.searcher->completedDepth) continue;
      const std::string move = moveToText(r.line.moves[0]);
      EXPECT_EQ(r.score, MateScore - 3) << c.fen << " " << c.lines << " " << move;
      EXPECT_NE(std::string(c.matesInTwo).find(move), std::string::npos) << c.fen << " " << move;
      EXPECT_EQ(shown.find(move), std::string::npos) << c.fen << " " << move;
      shown += move + " ";
    }
    EXPECT_EQ(shown.size(), 5u * c.lines) << c.fen << " " << shown;
  }
}

// A search of several lines that its node limit stops in the middle of a pass may still take a
// new best move from it: the move played and the reply it expects must be those of the last line
// 1 shown, wherever the limit falls.
TEST(Search, StoppedSeveralLinesPlayTheLastLineOneShown) {
  for (uint64_t nodes = 8000; nodes <= 100000; nodes += nodes / 8) {
    Search s(0, 1);  // no depth limit: the node limit stops it
    s.searcher->limits.multiPV = 3;
    s.searcher->limits.nodes = nodes;
    const Move m = s.run("r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 3 9");
    const PVLine* shown = nullptr;
    for (const auto& r : s.reports.seen)
      if (r.tag.number == 1) shown = &r.line;
    ASSERT_NE(shown, nullptr) << nodes;
    EXPECT_EQ(moveToText(m), moveToText(shown->moves[0])) << nodes;
    EXPECT_EQ(text(s.searcher->bestLine), text(*shown)) << nodes;
  }
}

TEST(Search, DepthLimitStopsSilently) {
  Search s(4);
  s.run("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3");
  EXPECT_EQ(s.searcher->completedDepth, 4);
  EXPECT_EQ(s.reports.stops, "");
}

TEST(Search, StalemateAndCheckmateBelowTheRoot) {
  Search s(1);
  s.set("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");  // black is stalemated
  PVLine line;
  EXPECT_EQ(s.searcher->searchNode(-100, 100, 3, 2, line), 0);
  s.set("R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1");  // black is mated
  EXPECT_EQ(s.searcher->searchNode(-32000, 32000, 3, 2, line), 3 - MateScore);
  EXPECT_EQ(s.searcher->quiesce(-32000, 32000, 3, line), 3 - MateScore);
}

TEST(Search, StaticNullMovePrunesWithTheDepthMargin) {
  Search s(1);
  Position& pos = s.set("4k3/4p3/8/8/8/8/PPP5/1KQ5 w - - 0 1");
  const int beta = -5000;  // far below: the node's own evaluation is taken with this window
  const int e = evaluate(pos, beta - 1, beta);
  PVLine line;
  EXPECT_EQ(s.searcher->searchNode(beta - 1, beta, 2, 4, line), e - 320);
  const ProbeResult r = s.table.probe(pos, beta - 1, beta, 2, 4);
  EXPECT_TRUE(r.cutoff);
  EXPECT_EQ(r.score, e - 320);
  EXPECT_EQ(s.searcher->nodes.get(), 1u);  // nothing searched below
}

TEST(Search, RazoringDropsIntoQuiescence) {
  Search s(1);
  s.set("4k3/4p3/8/8/8/8/PPP5/1KQ5 b - - 0 1");
  const int alpha = 5000, t = alpha - 264;  // black, a queen down, is far below alpha
  PVLine line;
  const int expected = s.searcher->quiesce(t, t + 1, 2, line);
  ASSERT_LE(expected, t);
  const uint32_t filled = s.table.filledCount();
  EXPECT_EQ(s.searcher->searchNode(alpha, alpha + 1, 2, 2, line), expected);
  EXPECT_EQ(s.table.filledCount(), filled);  // razoring stores nothing
}

TEST(Search, SingleReplyIsSearchedOneDeeper) {
  Search s(1);
  Position& pos = s.set("k7/8/1K6/8/8/8/8/7R b - - 0 1");  // only ...Kb8 is legal
  PVLine line;
  MoveList list;
  generateMoves(pos, inCheck(pos), list);
  ASSERT_FALSE(inCheck(pos));
  ASSERT_EQ(list.count, 1u);
  s.searcher->searchNode(-32000, 32000, 2, 2, line);
  const uint32_t bucket = 4 * (uint32_t(pos.key()) & (s.table.entryCount() / 4 - 1));
  bool found = false;
  for (uint32_t i = bucket; i < bucket + 4; ++i)
    if (s.table.entry(i).key == pos.key()) found = s.table.entry(i).depth == 3;
  EXPECT_TRUE(found);
}

TEST(Quiesce, StandPatAtOrAboveBetaReturnsAtOnce) {
  Search s(1);
  Position& pos = s.set("4k3/8/8/8/8/8/PPP5/1KQ5 w - - 0 1");
  const int standPat = evaluate(pos, 200, 201);
  ASSERT_GE(standPat, 201);
  PVLine line;
  EXPECT_EQ(s.searcher->quiesce(200, 201, 0, line), standPat);
  EXPECT_EQ(s.searcher->qsNodes.get(), 1u);
}

TEST(Quiesce, DeltaAndLosingCaptureSkips) {
  Search s(1);
  PVLine line;
  // Far behind, a pawn capture cannot reach alpha and is skipped; a rook capture is searched.
  Position& pos = s.set("1q2k3/8/8/3p4/8/8/8/3RK3 w - - 0 1");
  ASSERT_LT(evaluate(pos, 0, 1) + 125, 0);
  s.searcher->quiesce(0, 1, 0, line);
  EXPECT_EQ(s.searcher->qsNodes.get(), 1u);
  s.searcher->resetCounters();
  s.set("1q2k3/8/8/3r4/8/8/8/3RK3 w - - 0 1");
  s.searcher->quiesce(-400, -399, 0, line);
  EXPECT_GE(s.searcher->qsNodes.get(), 2u);
  // A queen taking a pawn defended by a pawn is never searched.
  s.searcher->resetCounters();
  Position& q = s.set("4k3/4p3/3p4/8/8/8/8/3QK3 w - - 0 1");
  const int standPat = evaluate(q, -1000, 2000);
  ASSERT_LT(standPat, 2000);
  EXPECT_EQ(s.searcher->quiesce(-1000, 2000, 0, line), standPat);
  EXPECT_EQ(s.searcher->qsNodes.get(), 1u);
}

TEST(Search, DeterministicNodeCounts) {
  const char* fens[] = {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
                        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
                        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"};
  for (const char* fen : fens) {
    Search a(6), b(6);
    const Move ma = a.run(fen), mb = b.run(fen);
    EXPECT_EQ(ma, mb);
    EXPECT_EQ(a.searcher->nodes.get(), b.searcher->nodes.get()) << fen;
    EXPECT_GT(a.searcher->nodes.get(), 100u);
  }
}

TEST(Search, GameNearTheEndOfTheHistoryStack) {
  Search s(8);
  Position pos;
  ASSERT_TRUE(setFromFen(pos, "4k3/8/8/8/8/8/4P3/R3K3 w - - 0 1"));
  // Pretend a long game was played: the root sits at the last records of the history.
  pos.history[1021] = pos.history[0];
  pos.historyCount = 1021;
  for (uint64_t& k : pos.perftKeys) k = 0x5A5A5A5A5A5A5A5Aull;
  pos.perftKeyIndex = 0;
  const Move m = s.searcher->iterate(pos);
  EXPECT_NE(m, NullMove);
  EXPECT_EQ(s.searcher->position.historyCount, 1021);
  for (uint64_t k : s.searcher->position.perftKeys) EXPECT_EQ(k, 0x5A5A5A5A5A5A5A5Aull);
}

// A long mate's line is finished to the mate from the scores the search left in the table
// where the table has lost a move of it: a mate in 8 is far beyond what the line's own small
// search proves.
TEST(Search, LongMateLineFinishedFromTheTableScores) {
  Search s(8);
  const char* fen = "7k/8/8/8/8/8/8/KQ6 w - - 0 1";
  const Move first = s.run(fen);
  const int score = s.searcher->bestScore;
  ASSERT_GT(score, MateThreshold);
  const int plies = MateScore - score;
  ASSERT_GE(plies, 13);
  Position root;
  ASSERT_TRUE(setFromFen(root, fen));
  PVLine cut;
  cut.moves[cut.length++] = first;
  const PVLine whole = completeLine(root, cut, s.table, score);
  ASSERT_EQ(whole.length, plies) << text(whole);
  // The entry of the position after the first two moves now holds no move.
  Position pos = root;
  for (int i = 0; i < 2; ++i) {
    UndoRecord undo;
    makeMove(pos, whole.moves[i], undo);
  }
  s.table.store(pos, 0, 0, -MateScore, MateScore, -1, 1, 0, NullMove);
  const PVLine line = completeLine(root, cut, s.table, score);
  ASSERT_EQ(line.length, plies) << text(line);
  EXPECT_TRUE(reachesMate(root, line, score)) << text(line);
}

}  // namespace
}  // namespace varnu
