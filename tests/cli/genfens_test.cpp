#include "cli/genfens.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/movegen.h"

namespace varnu {
namespace {

// The FENs of the "info string genfens" lines, and whether any other line came.
std::vector<std::string> fensOf(const std::string& text, bool& otherLines) {
  std::vector<std::string> fens;
  std::istringstream lines(text);
  otherLines = false;
  const std::string prefix = "info string genfens ";
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(prefix, 0) == 0)
      fens.push_back(line.substr(prefix.size()));
    else
      otherLines = true;
  }
  return fens;
}

// Every position must be one our own board code accepts, with the side to move not in check
// and with a legal move.
void expectPlayable(const std::vector<std::string>& fens) {
  for (const std::string& fen : fens) {
    Position pos;
    ASSERT_TRUE(setFromFen(pos, fen)) << fen;
    EXPECT_FALSE(inCheck(pos)) << fen;
    EXPECT_GT(countMoves(pos, false), 0u) << fen;
    EXPECT_EQ(fenText(pos, std::stoi(fen.substr(fen.rfind(' ') + 1))), fen);
  }
}

TEST(Genfens, TheSeedGivesTheSamePlayablePositionsEachTime) {
  Output first, again, other;
  ASSERT_EQ(runGenfens(first, "genfens 40 seed 2026 book None"), 0);
  ASSERT_EQ(runGenfens(again, "genfens 40 seed 2026 book None"), 0);
  ASSERT_EQ(runGenfens(other, "genfens 40 seed 2027"), 0);
  EXPECT_EQ(first.captured(), again.captured());
  EXPECT_NE(first.captured(), other.captured());
  bool otherLines = true;
  const std::vector<std::string> fens = fensOf(first.captured(), otherLines);
  EXPECT_FALSE(otherLines);
  ASSERT_EQ(fens.size(), 40u);
  expectPlayable(fens);
}

// A book's positions are read from FEN-style and EPD-style lines alike, other lines skipped;
// a book that cannot be read, or holds nothing, is an error without a single position printed.
TEST(Genfens, BooksAreReadOrRefusedClearly) {
  const std::string path = testing::TempDir() + "genfens_book.epd";
  {
    std::ofstream book(path);
    book << "# two openings\n"
         << "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - hmvc 0; fmvn 1;\n"
         << "not a position at all\n"
         << "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3\n";
  }
  Output out;
  ASSERT_EQ(runGenfens(out, "genfens 12 seed 5 book " + path), 0);
  bool otherLines = true;
  const std::vector<std::string> fens = fensOf(out.captured(), otherLines);
  EXPECT_FALSE(otherLines);
  ASSERT_EQ(fens.size(), 12u);
  expectPlayable(fens);

  const std::string empty = testing::TempDir() + "genfens_empty.epd";
  std::ofstream(empty) << "nothing here\n";
  for (const std::string& command :
       {"genfens 3 seed 5 book " + testing::TempDir() + "no_such_book.epd",
        "genfens 3 seed 5 book " + empty, std::string("genfens 3 seed x"),
        std::string("genfens 3 seed 1 book")}) {
    Output refused;
    EXPECT_EQ(runGenfens(refused, command), 1) << command;
    EXPECT_EQ(refused.captured().rfind("info string error: ", 0), 0u) << refused.captured();
    EXPECT_TRUE(fensOf(refused.captured(), otherLines).empty()) << refused.captured();
  }
}

}  // namespace
}  // namespace varnu
