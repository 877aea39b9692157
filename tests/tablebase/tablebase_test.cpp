// The Syzygy reader against the tables themselves: every position's WDL and DTZ must agree with
// those of the positions its moves lead to, which no outside reference is needed for; and a few
// values known from elsewhere. Skipped, with a note, where the tables are not at hand.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "board/fen.h"
#include "board/make_move.h"
#include "board/movegen.h"
#include "tablebase/tablebases.h"

namespace varnu {
namespace {

const std::string TablesDir = VARNU_SYZYGY_DIR;

bool haveTables() { return std::filesystem::is_directory(TablesDir); }

#define REQUIRE_TABLES() \
  if (!haveTables()) GTEST_SKIP() << "no Syzygy tables at " << TablesDir

Tablebases& tables() {
  static Tablebases tb;
  static const bool once = [] {
    tb.setPath(TablesDir);
    return true;
  }();
  (void)once;
  return tb;
}

Position fromFen(const std::string& fen) {
  Position pos;
  EXPECT_TRUE(setFromFen(pos, fen)) << fen;
  return pos;
}

TEST(Syzygy, KnownValues) {
  REQUIRE_TABLES();
  struct Case {
    const char* fen;
    int wdl;
    int dtz;
  } cases[] = {
      {"8/2K5/4B3/3N4/8/8/4k3/8 b - - 0 1", WdlLoss, -53},
      {"8/8/8/8/8/8/8/K6k w - - 0 1", WdlDraw, 0},
  };
  for (const Case& c : cases) {
    Position pos = fromFen(c.fen);
    int wdl = 9, dtz = 999;
    ASSERT_TRUE(tables().probeWdl(pos, wdl)) << c.fen;
    ASSERT_TRUE(tables().probeDtz(pos, dtz)) << c.fen;
    EXPECT_EQ(wdl, c.wdl) << c.fen;
    EXPECT_EQ(dtz, c.dtz) << c.fen;
  }
}

// A random legal position of the material with the side to move given, and an en-passant square
// where one of the side to move's pawns could take a pawn that has just advanced two squares.
bool randomPosition(const Material& m, std::mt19937& rng, Position& pos) {
  char board[64];
  std::fill(board, board + 64, '.');
  auto place = [&](char piece) {
    const bool pawn = piece == 'P' || piece == 'p';
    for (int tries = 0; tries < 100; ++tries) {
      const int s = int(rng() % 64);
      if (board[s] != '.' || (pawn && (s < 8 || s >= 56))) continue;
      board[s] = piece;
      return true;
    }
    return false;
  };
  for (int side = 0; side < 2; ++side) {
    if (!place(side ? 'k' : 'K')) return false;
    for (int t = Pawn; t <= Queen; ++t)
      for (int i = 0; i < m.count[side][t]; ++i)
        if (!place(side ? pieceLetters[t] : char(pieceLetters[t] - 32))) return false;
  }
  const int toMove = int(rng() % 2);
  std::string ep = "-";
  // The pawn that could just have advanced two squares stands on the side to move's fifth rank.
  const char own = toMove == White ? 'P' : 'p', theirs = toMove == White ? 'p' : 'P';
  const int fifth = toMove == White ? 4 : 3, dir = toMove == White ? 8 : -8;
  for (int f = 0; f < 8 && ep == "-"; ++f) {
    const int s = fifth * 8 + f;
    if (board[s] != theirs || board[s + dir] != '.' || board[s + 2 * dir] != '.') continue;
    if ((f > 0 && board[s - 1] == own) || (f < 7 && board[s + 1] == own))
      if (rng() % 2)
        ep = std::string{char('a' + f), char('1' + fifth + (toMove == White ? 1 : -1))};
  }
  std::string fen;
  for (int r = 7; r >= 0; --r) {
    int empty = 0;
    for (int f = 0; f < 8; ++f) {
      const char c = board[r * 8 + f];
      if (c == '.') {
        ++empty;
        continue;
      }
      if (empty) fen += char('0' + empty);
      empty = 0;
      fen += c;
    }
    if (empty) fen += char('0' + empty);
    if (r) fen += '/';
  }
  fen += toMove == White ? " w - " : " b - ";
  fen += ep + " 0 1";
  return setFromFen(pos, fen);
}

// What the moves of a position say about it, each move's result read from the tables: the best
// result ignoring the fifty-move rule (+1 win, 0 draw, -1 loss) and the DTZ that follows.
struct FromMoves {
  int result = -1;
  int dtz = 0;
};

int resultOf(int wdl) { return (wdl > 0) - (wdl < 0); }

bool valueFromMoves(Position& pos, FromMoves& out) {
  MoveList moves;
  const bool check = inCheck(pos);
  generateMoves(pos, check, moves);
  if (moves.count == 0) {
    out.result = check ? -1 : 0;
    out.dtz = check ? -1 : 0;
    return true;
  }
  int winDtz = 1 << 20, lossDtz = 0;
  out.result = -1;
  for (uint32_t i = 0; i < moves.count; ++i) {
    const Move m = moves.entries[i].move;
    const bool zeroing = moveKind(m) == EnPassantMove ||
                         pos.pieceType[moveToSquare(m)] != NoPiece ||
                         pos.pieceType[moveFromSquare(m)] == Pawn;
    UndoRecord undo;
    perftMake(pos, m, undo);
    int wdl = 0, dtz = 0;
    const bool ok = tables().probeWdl(pos, wdl) && (zeroing || tables().probeDtz(pos, dtz));
    perftUnmake(pos, m, undo);
    if (!ok) return false;
    const int result = -resultOf(wdl);
    out.result = std::max(out.result, result);
    // The plies to the next zeroing move by this move, for the side to move's result.
    if (result > 0) winDtz = std::min(winDtz, zeroing ? (wdl == WdlLoss ? 1 : 101) : 1 - dtz);
    if (result < 0) lossDtz = std::min(lossDtz, zeroing ? (wdl == WdlWin ? -1 : -101) : -1 - dtz);
  }
  out.dtz = out.result > 0 ? winDtz : out.result < 0 ? lossDtz : 0;
  return true;
}

TEST(Syzygy, EveryTableAgreesWithTheMovesOfItsPositions) {
  REQUIRE_TABLES();
  std::mt19937 rng(2026);
  int tablesChecked = 0;
  for (const auto& file : std::filesystem::directory_iterator(TablesDir)) {
    const std::string name = file.path().filename().string();
    if (file.path().extension() != ".rtbw") continue;
    Material m;
    ASSERT_TRUE(parseMaterial(name.substr(0, name.size() - 5), m)) << name;
    ++tablesChecked;
    const int wanted = m.pieces() <= 4 ? 2000 : 1000;
    int checked = 0;
    for (int tries = 0; checked < wanted && tries < 20 * wanted; ++tries) {
      Position pos;
      if (!randomPosition(m, rng, pos)) continue;
      int wdl = 0, dtz = 0;
      ASSERT_TRUE(tables().probeWdl(pos, wdl)) << fenText(pos, 1);
      ASSERT_TRUE(tables().probeDtz(pos, dtz)) << fenText(pos, 1);
      FromMoves expected;
      ASSERT_TRUE(valueFromMoves(pos, expected)) << fenText(pos, 1);
      const std::string where = name + " " + fenText(pos, 1);
      ASSERT_EQ(resultOf(wdl), expected.result) << where;
      ASSERT_EQ(resultOf(dtz), expected.result) << where;
      // A win the fifty-move rule keeps is one that zeroes within 100 plies.
      if (wdl == WdlWin || wdl == WdlLoss) {
        ASSERT_LE(std::abs(dtz), 100) << where;
      } else if (wdl != WdlDraw) {
        ASSERT_GT(std::abs(dtz), 100) << where;
      }
      // Tables that count in moves may give one ply more than the exact distance.
      ASSERT_LE(std::abs(dtz - expected.dtz), 1)
          << where << " dtz " << dtz << " from moves " << expected.dtz;
      ++checked;
    }
    EXPECT_EQ(checked, wanted) << name;
  }
  EXPECT_GT(tablesChecked, 0);
}

}  // namespace
}  // namespace varnu
