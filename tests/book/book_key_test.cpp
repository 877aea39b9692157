#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>

#include "board/fen.h"
#include "board/make_move.h"
#include "board/move.h"
#include "book/book_keys.h"
#include "book/opening_book.h"

namespace varnu {
namespace {

struct KeyCase {
  const char* fen;
  uint64_t key;
};

// Keys published with the book format. In the first three rows the FEN names an en-passant square
// no pawn can use, so the key has no en-passant term; in the fifth and eighth one pawn can.
constexpr KeyCase publishedKeys[] = {
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 0x463b96181691fc9c},
    {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", 0x823c9b50fd114196},
    {"rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", 0x0756b94461c50fb0},
    {"rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 2", 0x662fafb965db29d4},
    {"rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3", 0x22a48b5a8e47ff78},
    {"rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPPKPPP/RNBQ1BNR b kq - 0 3", 0x652a607ca3f242c1},
    {"rnbq1bnr/ppp1pkpp/8/3pPp2/8/8/PPPPKPPP/RNBQ1BNR w - - 0 4", 0x00fdd303c946bdd9},
    {"rnbqkbnr/p1pppppp/8/8/PpP4P/8/1P1PPPP1/RNBQKBNR b KQkq c3 0 3", 0x3c8123ea7b067637},
    {"rnbqkbnr/p1pppppp/8/8/P6P/R1p5/1P1PPPP1/1NBQKBNR b Kkq - 0 4", 0x5c3f9b829b279560},
};

TEST(BookKey, PublishedPositionsFromFen) {
  for (const KeyCase& c : publishedKeys) {
    Position pos;
    ASSERT_TRUE(setFromFen(pos, c.fen)) << c.fen;
    EXPECT_EQ(polyglotKey(pos), c.key) << c.fen;
  }
}

// The same positions reached by playing the moves: the en-passant square left by makeMove must
// count exactly when the book key counts it.
TEST(BookKey, PublishedPositionsByPlayingMoves) {
  const char* moves[] = {"e2e4", "d7d5", "e4e5", "f7f5", "e1e2", "e8f7"};
  Position pos;
  ASSERT_TRUE(setFromFen(pos, StartFen));
  EXPECT_EQ(polyglotKey(pos), publishedKeys[0].key);
  for (int i = 0; i < 6; ++i) {
    const Move m = parseUserMove(pos, moves[i]);
    ASSERT_NE(m, NullMove) << moves[i];
    UndoRecord undo;
    makeMove(pos, m, undo);
    EXPECT_EQ(polyglotKey(pos), publishedKeys[i + 1].key) << "after " << moves[i];
  }
  const char* wing[] = {"a2a4", "b7b5", "h2h4", "b5b4", "c2c4", "b4c3", "a1a3"};
  ASSERT_TRUE(setFromFen(pos, StartFen));
  for (const char* text : wing) {
    UndoRecord undo;
    makeMove(pos, parseUserMove(pos, text), undo);
    if (std::string_view(text) == "c2c4") {
      EXPECT_EQ(polyglotKey(pos), publishedKeys[7].key);
    }
  }
  EXPECT_EQ(polyglotKey(pos), publishedKeys[8].key);
}

// Guards the embedded constants against a lost, altered or swapped entry: a checksum weighted by
// position, taken from the published list, and the values at the boundaries of each section.
TEST(BookKey, EmbeddedTableMatchesThePublishedList) {
  uint64_t weighted = 0;
  for (int i = 0; i < BookRandomCount; ++i) weighted += uint64_t(i + 1) * bookRandom64[i];
  EXPECT_EQ(weighted, 0x9ed769c526b32c64u);
  EXPECT_EQ(bookRandom64[0], 0x9D39247E33776D41u);
  EXPECT_EQ(bookRandom64[767], 0xD20D8C88C8FFE65Fu);
  EXPECT_EQ(bookRandom64[BookRandomCastling], 0x31D71DCE64B2C310u);
  EXPECT_EQ(bookRandom64[BookRandomEnPassant], 0x70CC73D90BC26E24u);
  EXPECT_EQ(bookRandom64[BookRandomTurn], 0xF8D626AAAF278509u);
}

TEST(BookRecord, DecodesBigEndianFields) {
  const unsigned char bytes[BookEntrySize] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                                              0x03, 0x1C, 0xFF, 0x01, 0x80, 0x00, 0x00, 0x02};
  const BookEntry e = decodeBookEntry(bytes);
  EXPECT_EQ(e.key, 0x0123456789ABCDEFu);
  EXPECT_EQ(e.move, 0x031C);
  EXPECT_EQ(e.weight, 0xFF01);
  EXPECT_EQ(e.learn, 0x80000002u);
}

TEST(BookRandom, SeedFromTimeOfDayWrapsIn32Bits) {
  // 2024-01-01 12:34:56.789 UTC, and 2038-01-19 03:14:08.005 UTC (2^31 seconds since 1970).
  EXPECT_EQ(timeOfDaySeed(1704112496789), 1177585200u);
  EXPECT_EQ(timeOfDaySeed(2147483648005), 2147483648u);
}

TEST(BookRandom, OutputsSpanFifteenBits) {
  BookRandom random(1);
  int low = 32767, high = 0;
  for (int i = 0; i < 100000; ++i) {
    const int r = random.next();
    ASSERT_GE(r, 0);
    ASSERT_LE(r, 32767);
    low = std::min(low, r);
    high = std::max(high, r);
  }
  EXPECT_LT(low, 16);
  EXPECT_GT(high, 32767 - 16);
}

}  // namespace
}  // namespace varnu
