// The UCI front end in the process: what "go" asks, the budget its clock gives, what
// "setoption" sets, the order of its answers, and the lines completed from the table.
#include "uci/uci.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "board/fen.h"
#include "board/game_end.h"
#include "board/make_move.h"
#include "board/movegen.h"
#include "search/move_timer.h"
#include "search/playing_level.h"
#include "search/reported_line.h"

namespace varnu {
namespace {

SearchLimits go(const char* line, std::string* ignored = nullptr) {
  Position pos;
  setFromFen(pos, StartFen);
  std::string words = line, unused;
  return parseGo(
      splitWords(words), [&](std::string_view text) { return parseUserMove(pos, text); },
      ignored ? *ignored : unused);
}

TEST(UciGo, ReadsEveryLimitInCentiseconds) {
  SearchLimits l = go("go wtime 60000 btime 50000 winc 1000 binc 500 movestogo 20 depth 7");
  EXPECT_EQ(l.time[White], 6000);
  EXPECT_EQ(l.time[Black], 5000);
  EXPECT_EQ(l.increment[White], 100);
  EXPECT_EQ(l.increment[Black], 50);
  EXPECT_EQ(l.movesToGo, 20);
  EXPECT_EQ(l.depth, 7);
  l = go("go nodes 5000 mate 3 infinite ponder searchmoves e2e4 d2d4");
  EXPECT_EQ(l.nodes, 5000u);
  EXPECT_EQ(l.mate, 3);
  EXPECT_TRUE(l.infinite && l.ponder);
  EXPECT_EQ(l.searchMoves.count, 2u);
  EXPECT_FALSE(go("go wtime 5000").timed(Black));
  EXPECT_TRUE(go("go btime 0").timed(Black));
}

// A bare "go" asks for a move under a clock of its own; any limit it names keeps it as it is.
TEST(UciGo, BareGoGetsTheDefaultClock) {
  SearchLimits l = go("go searchmoves e2e4");
  giveDefaultClock(l, Black);
  EXPECT_TRUE(l.timed(Black));
  EXPECT_FALSE(l.timed(White));
  EXPECT_EQ(l.time[Black], 30000);
  EXPECT_EQ(l.movesToGo, 40);
  for (const char* line : {"go infinite", "go ponder", "go depth 3", "go nodes 9", "go mate 2",
                           "go movetime 50", "go btime 700"}) {
    l = go(line);
    const SearchLimits before = l;
    giveDefaultClock(l, Black);
    EXPECT_EQ(l.time[Black], before.time[Black]) << line;
    EXPECT_EQ(l.movesToGo, 0) << line;
  }
}

// Numbers out of range are brought into it; a word that is not a number leaves its limit unset
// and is reported, and so is a move that is not legal.
TEST(UciGo, BadAndMissingNumbers) {
  const struct {
    const char* line;
    const char* ignored;
    int32_t moveTime, time, depth, mate;
    uint64_t nodes;
  } cases[] = {
      {"go movetime 0", "", 1, NoClock, 0, 0, 0},
      {"go movetime 99999999999999999999", "", 214748364, NoClock, 0, 0, 0},
      {"go wtime -5 depth 0", "", 0, 0, 1, 0, 0},
      {"go depth 99999999999999999999 nodes -7", "", 0, NoClock, 100, 0, 1},
      {"go depth x nodes 1", " depth x", 0, NoClock, 0, 0, 1},
      {"go mate 0 wtime", " mate wtime", 0, NoClock, 0, 0, 0},
      {"go mate 500 depth", " depth", 0, NoClock, 0, 100, 0},
      {"go searchmoves e2e4 zz a2a5 nodes 1", " zz a2a5", 0, NoClock, 0, 0, 1},
  };
  for (const auto& c : cases) {
    std::string ignored;
    const SearchLimits l = go(c.line, &ignored);
    EXPECT_EQ(ignored, c.ignored) << c.line;
    EXPECT_EQ(l.moveTime, c.moveTime) << c.line;
    EXPECT_EQ(l.time[White], c.time) << c.line;
    EXPECT_EQ(l.depth, c.depth) << c.line;
    EXPECT_EQ(l.mate, c.mate) << c.line;
    EXPECT_EQ(l.nodes, c.nodes) << c.line;
  }
}

// The clock of "go" at its edges: the budget never exceeds the clock less the move overhead (10
// centiseconds here), whatever the increment, and one move to go may use 0.9 of the clock.
TEST(UciGo, BudgetFromTheClock) {
  const struct {
    const char* line;
    int32_t maxTime;
  } cases[] = {
      {"go wtime 100 btime 100", 0},        {"go wtime 5 btime 5", -10},
      {"go wtime 1000 winc 100000", 90},    {"go wtime 10000 movestogo 1", 900},
      {"go wtime 60000 movestogo 30", 180}, {"go wtime 60000 winc 1000", 255},
      {"go movetime 1000 wtime 500", 40},   {"go movetime 1000", 90},
  };
  for (const auto& c : cases) {
    SearchLimits l = go(c.line);
    l.moveOverhead = 10;
    EXPECT_TRUE(l.timed(White)) << c.line;
    EXPECT_EQ(moveBudget(l, White, 0).maxTime, c.maxTime) << c.line;
  }
}

struct UciFixture : testing::Test {
  UciFixture() : engine(out), uci(engine, out) {
    uci.execute("setoption name Hash value 1");
    uci.execute("setoption name OwnBook value false");
    out.clearCaptured();
  }
  // Waits for the bestmove of a search that ends by itself.
  void finish(int milliseconds = 2000) {
    for (int i = 0; i < milliseconds && uci.searching(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_FALSE(uci.searching());
  }
  // Where a line first appears in the output, or npos.
  size_t at(const std::string& line) { return ("\n" + out.captured()).find("\n" + line); }
  Output out;
  Engine engine;
  UciFrontEnd uci;
};

TEST_F(UciFixture, SetoptionNamesValuesAndRefusals) {
  uci.execute("setoption name move OVERHEAD value 250");
  uci.execute("setoption name BookFile value my  book.bin");
  uci.execute("setoption name MultiPV value 0");
  uci.execute("setoption name Hash VALUE 8");
  uci.execute("setoption name Clear Hash");
  uci.execute("setoption name Threads");
  EXPECT_EQ(engine.options().number(Setting::MoveOverhead), 250);
  EXPECT_EQ(engine.options().text(Setting::BookFile), "my  book.bin");
  EXPECT_EQ(engine.options().number(Setting::MultiPV), 1);
  EXPECT_EQ(engine.options().number(Setting::Hash), 1);
  EXPECT_EQ(out.captured(),
            "info string bad value for MultiPV: 0\n"
            "info string unknown option: Hash VALUE 8\n"
            "info string bad value for Threads: \n");
}

// "eval json" gives the table's terms so that a page can show them adding up: the terms plus the
// adjustment are the total, which is the table's; the pawnless mating scores need none, with
// either side to move and either side winning.
TEST_F(UciFixture, EvalJsonTermsAddUpToTheTablesTotal) {
  const std::regex termValue(R"(\},"value":(-?\d+)\})"), adjust(R"("adjust":(-?\d+))"),
      total(R"("total":(-?\d+)\}$)"), tableTotal(R"(Total evaluation = +(-?\d+))");
  for (const char* fen :
       {"r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 5 4",  // scaled
        "k7/8/PPPP4/8/8/8/8/4K3 w - - 0 1",  // a positional part beyond its clamp
        "8/8/8/4k3/8/8/8/KQ6 w - - 0 1", "8/8/8/4k3/8/8/8/KQ6 b - - 0 1",
        "8/8/8/8/8/1k6/8/KBN5 b - - 0 1", "kbn5/8/2K5/8/8/8/8/8 b - - 0 1",
        "kbn5/8/2K5/8/8/8/8/8 w - - 0 1"}) {
    out.clearCaptured();
    uci.execute(std::string("position fen ") + fen);
    uci.execute("eval json");
    const std::string json = out.captured();
    uci.execute("eval");
    const std::string table = out.captured().substr(json.size());
    std::smatch m;
    int sum = 0;
    for (auto it = std::sregex_iterator(json.begin(), json.end(), termValue);
         it != std::sregex_iterator(); ++it)
      sum += std::stoi((*it)[1]);
    ASSERT_TRUE(std::regex_search(json, m, adjust)) << json;
    const int adjustment = std::stoi(m[1]);
    const std::string line = json.substr(0, json.size() - 1);
    ASSERT_TRUE(std::regex_search(line, m, total)) << json;
    const int score = std::stoi(m[1]);
    ASSERT_TRUE(std::regex_search(table, m, tableTotal)) << table;
    EXPECT_EQ(score, std::stoi(m[1])) << fen;
    EXPECT_EQ(sum + adjustment, score) << fen;
    if (json.find("\"mating\":true") != std::string::npos) {
      EXPECT_EQ(adjustment, 0) << fen;
    }
  }
}

// A level is searched by one thread: after a search of two, the idle helper's nodes must not
// count for it, in its reports or against its node budget.
TEST_F(UciFixture, LevelAfterATwoThreadSearchCountsItsOwnNodes) {
  uci.execute("setoption name Threads value 2");
  uci.execute("position startpos");
  uci.execute("go depth 8");
  finish(20000);
  uci.execute("setoption name UCI_LimitStrength value true");
  uci.execute("setoption name UCI_Elo value " + std::to_string(LowestElo));
  uci.execute("position startpos moves e2e4");
  out.clearCaptured();
  uci.execute("go movetime 2000");
  finish(5000);
  const std::string text = out.captured();
  const size_t nodes = text.rfind(" nodes ");
  ASSERT_NE(nodes, std::string::npos) << text;
  EXPECT_LE(std::stoull(text.substr(nodes + 7)), 2 * levelPlan(LowestElo).nodes) << text;
}

// How much of a new table lies in large pages depends on the machine (its transparent huge pages,
// Windows' privilege to lock memory), so it is told in the debug log alone: were it told to the
// GUI, the protocol's output would differ from one machine to the next.
TEST_F(UciFixture, LargePagesAreToldToTheDebugLogAlone) {
  const std::string path = testing::TempDir() + "varnu_uci_pages.log";
  std::remove(path.c_str());
  uci.execute("setoption name Debug Log File value " + path);
  uci.execute("setoption name Hash value 4");
  uci.execute("isready");
  uci.execute("setoption name Debug Log File value");
  EXPECT_EQ(out.captured(), "readyok\n");
  std::ifstream log(path);
  const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(std::regex_search(
      text,
      std::regex(R"((^|\n)[0-9.]+ = info string hash table of 4 MB: [0-4] MB in large pages\n)")))
      << text;
  std::remove(path.c_str());
}

// "isready" during a search that waits for "stop" is answered at once; the bestmove comes with
// the stop, before the next answer.
TEST_F(UciFixture, ReadyokAndBestmoveOrder) {
  uci.execute("position startpos");
  uci.execute("go infinite");
  uci.execute("isready");
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(at("bestmove"), std::string::npos);
  uci.execute("stop");
  uci.execute("isready");
  const std::string text = out.captured();
  EXPECT_LT(at("readyok"), at("bestmove"));
  EXPECT_EQ(text.substr(text.size() - 8), "readyok\n");
  EXPECT_EQ(text.find("bestmove"), text.rfind("bestmove"));
}

// A ponder search's bestmove waits for "ponderhit", however soon the search is over; a mated
// position's bestmove waits for "stop" under "go infinite".
TEST_F(UciFixture, BestmoveWaitsForPonderhitAndStop) {
  uci.execute("position startpos moves e2e4 e7e5");
  uci.execute("go ponder depth 1 wtime 1000 btime 1000");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(at("bestmove"), std::string::npos);
  uci.execute("ponderhit");
  finish();
  EXPECT_NE(at("bestmove"), std::string::npos);
  out.clearCaptured();
  uci.execute("position fen 7k/6Q1/6K1/8/8/8/8/8 b - - 0 1");
  uci.execute("go infinite");
  EXPECT_EQ(out.captured(), "info depth 0 score mate 0\n");
  uci.execute("stop");
  EXPECT_EQ(out.captured(), "info depth 0 score mate 0\nbestmove 0000\n");
}

// A refused position leaves none: "go" is answered at once, and not for the position before.
TEST_F(UciFixture, GoWithoutAValidPosition) {
  uci.execute("position startpos moves e2e4");
  uci.execute("position fen rnbqkb1r/ppp1pppp/5n2/3pP3/8/8/PPPP1PPP/RNBQKBNR b KQkq d6 0 3");
  uci.execute("go depth 5");
  EXPECT_FALSE(uci.searching());
  EXPECT_EQ(out.captured().substr(out.captured().find("bestmove")), "bestmove 0000\n");
  uci.execute("position startpos");
  uci.execute("go depth 1");
  finish();
  EXPECT_NE(out.captured().rfind("bestmove e2e4"), std::string::npos);
}

// Stores a move for the position reached by the moves so far.
void storeMove(TranspositionTable& table, Position& pos, const char* text) {
  const Move m = parseUserMove(pos, text);
  table.store(pos, 0, 0, -MateScore, MateScore, -1, 1, 5, m);
  UndoRecord undo;
  makeMove(pos, m, undo);
}

TEST(UciLine, CompletedFromTheTableUpToARepetition) {
  Output out;
  TranspositionTable table;
  table.resize(1);
  Position root, pos;
  setFromFen(root, StartFen);
  pos = root;
  PVLine line;
  line.moves[line.length++] = parseUserMove(pos, "e2e4");
  storeMove(table, pos, "e2e4");
  for (const char* m : {"e7e5", "g1f3", "g8f6", "f3g1", "f6g8", "g1f3"}) storeMove(table, pos, m);
  std::string text;
  appendMoveTexts(text, completeLine(root, line, table));
  // f6g8 would bring back the position after e7e5.
  EXPECT_EQ(text, " e2e4 e7e5 g1f3 g8f6 f3g1");
  // A move that is not legal where it is found ends the line: black cannot play e2e4.
  Position afterG1f3 = root;
  for (const char* m : {"e2e4", "e7e5", "g1f3"}) {
    const Move move = parseUserMove(afterG1f3, m);
    UndoRecord undo;
    makeMove(afterG1f3, move, undo);
  }
  table.store(afterG1f3, 0, 0, -MateScore, MateScore, -1, 1, 5, parseUserMove(root, "e2e4"));
  text.clear();
  appendMoveTexts(text, completeLine(afterG1f3, PVLine{}, table));
  EXPECT_EQ(text, "");
}

// The position of a "position fen <FEN> moves ..." command, its moves played.
Position positionOf(const std::string& command) {
  std::istringstream in(command);
  std::string word, fen;
  in >> word >> word;
  for (int field = 0; field < 6 && in >> word; ++field) fen += word + " ";
  Position pos;
  EXPECT_TRUE(setFromFen(pos, fen)) << command;
  in >> word;  // "moves"
  while (in >> word) {
    const Move m = parseUserMove(pos, word);
    EXPECT_NE(m, NullMove) << command << " " << word;
    UndoRecord undo;
    makeMove(pos, m, undo);
  }
  return pos;
}

// True when the position came twice before since the last irreversible move, the game included.
bool threefold(const Position& pos) {
  int seen = 0;
  for (int i = pos.historyCount - 2; i >= 0 && i >= pos.historyCount - pos.halfmoveClock; i -= 2)
    seen += pos.history[i].key == pos.history[pos.historyCount].key;
  return seen >= 2;
}

// What is wrong with an info line of a search from the root: a move not legal, a move after a
// mate, a stalemate, the fifty-move limit or a threefold repetition that counts the game's own
// positions, a mate score's line not exactly as long as the mate or not ending in it, or a depth
// beyond the search's last. Empty when nothing is.
std::string lineFault(const Position& root, const std::string& text, int lastDepth) {
  std::istringstream words(text);
  std::string word;
  int depth = 0, mate = 0;
  while (words >> word && word != "pv") {
    if (word == "depth") words >> depth;
    if (word == "mate") words >> mate;
  }
  if (depth > lastDepth) return "depth " + std::to_string(depth);
  Position pos = root;
  int plies = 0;
  for (; words >> word; ++plies) {
    if (countMoves(pos, inCheck(pos)) == 0) return "a move after the game's end: " + word;
    if (pos.halfmoveClock >= 100) return "a move after fifty moves: " + word;
    if (threefold(pos)) return "a move after a threefold repetition: " + word;
    const Move m = parseUserMove(pos, word);
    if (m == NullMove) return "an illegal move: " + word;
    UndoRecord undo;
    makeMove(pos, m, undo);
  }
  if (mate == 0) return "";
  if (plies != (mate > 0 ? 2 * mate - 1 : -2 * mate)) return std::to_string(plies) + " plies";
  if (!inCheck(pos) || countMoves(pos, true) != 0) return "no mate at the end";
  return "";
}

// Every line of a UCI search keeps the rules of the game, played from the game's position with
// our own board. The positions carry history: repetitions before the root, a half-move clock near
// 100, mates of several lengths for the side that mates and the side that is mated, and a table
// of 1 MB that loses the ends of lines.
TEST_F(UciFixture, ReportedLinesKeepTheRulesOfTheGame) {
  const struct {
    const char* position;
    int depth;
  } cases[] = {
      // White's checks go round: the next check repeats a position for the third time.
      {"position fen 4Q1k1/6p1/8/8/8/1q6/r5PP/7K b - - 0 1 moves g8h7 e8h5 h7g8 h5e8 g8h7 e8h5 "
       "h7g8",
       8},
      {"position fen 8/8/4k3/8/8/8/3QK3/8 w - - 93 60", 12},
      {"position fen 8/8/8/4k3/8/8/8/R3K3 w - - 90 60 moves e1d2 e5d5 d2e1 d5e5", 12},
      {"position fen 8/8/4k3/8/8/8/3QK3/8 w - - 80 60", 12},
      {"position fen 8/8/8/8/8/2k5/8/K6Q w - - 0 1", 10},
      {"position fen r5k1/5ppp/8/8/8/8/4RPPP/4R1K1 w - - 0 1", 4},
      {"position fen 7k/r7/5QK1/8/8/8/8/8 b - - 0 1", 6},
      {"position fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 moves f2f3 e7e5 "
       "g2g4",
       3},
  };
  for (const auto& c : cases) {
    out.clearCaptured();
    uci.execute(c.position);
    uci.execute("go depth " + std::to_string(c.depth));
    finish(30000);
    const Position root = positionOf(c.position);
    std::istringstream lines(out.captured());
    std::string text;
    int reports = 0;
    while (std::getline(lines, text)) {
      if (text.rfind("info depth ", 0) != 0 || text.find(" pv ") == std::string::npos) continue;
      ++reports;
      EXPECT_EQ(lineFault(root, text, c.depth), "") << c.position << "\n" << text;
    }
    EXPECT_GT(reports, 0) << c.position;
  }
}

}  // namespace
}  // namespace varnu
