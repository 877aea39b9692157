#include <gtest/gtest.h>

#include "board/fen.h"
#include "board/make_move.h"
#include "board/move.h"
#include "board/zobrist.h"

namespace varnu {
namespace {

struct FenCase {
  const char* fen;
  bool accepted;
};

TEST(Fen, AcceptsAndRefuses) {
  const FenCase cases[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", true},
        {"4k3/8/8/8/8/8/8/4K3 w - - 0 1", true},
        // Ranks of nine and seven squares, nine and seven ranks.
        {"4k3/ppppppppp/8/8/8/8/8/4K3 w - - 0 1", false},
        {"4k3/ppppppp/8/8/8/8/8/4K3 w - - 0 1", false},
        {"4k3/8/8/8/8/8/8/8/4K3 w - - 0 1", false},
        {"4k3/8/8/8/8/8/4K3 w - - 0 1", false},
        {" 4k3/8/8/8/8/8/8/4K3 w - - 0 1", false},
        {"4k3/8/8/8/8/8/8/4K2X w - - 0 1", false},
        {"4k3/8/8/8/8/8/8/4K3 x - - 0 1", false},
        {"4k3/8/8/8/8/8/8/4K3 w  - 0 1", true},  // empty castling field
        // Castling letters once each, in the order K, Q, k, q.
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", true},
        {"r3k2r/8/8/8/8/8/8/R3K2R w QK - 0 1", false},
        {"r3k2r/8/8/8/8/8/8/R3K2R w KK - 0 1", false},
        {"r3k2r/8/8/8/8/8/8/R3K2R w K- - 0 1", false},
        {"r3k2r/8/8/8/8/8/8/R3K2R w -K - 0 1", false},
        // En-passant squares must fit the side to move, be empty and have the pawn behind them.
        {"4k3/8/8/4p3/8/8/8/4K3 w - e3 0 1", false},
        {"4k3/8/4n3/3Pp3/8/8/8/4K3 w - e6 0 1", false},
        {"4k3/8/8/4p3/8/8/8/4K3 w - e6 0 1", true},
        {"4k3/8/8/8/8/8/8/4K3 w - e6 0 1", false},
        {"4k3/8/8/8/8/8/8/4K3 w - i6 0 1", false},
        // Counters: optional, a single positive one, a half-move field of at most 4 characters.
        {"4k3/8/8/8/8/8/8/4K3 w - -", true},
        {"4k3/8/8/8/8/8/8/4K3 w - - 5", true},
        {"4k3/8/8/8/8/8/8/4K3 w - - 0", false},
        {"4k3/8/8/8/8/8/8/4K3 w - - 10000 1", false},
        {"4k3/8/8/8/8/8/8/4K3 w - - -1 1", false},
        {"4k3/8/8/8/8/8/8/4K3 w - - 0 0", false},
        {"4k3/8/8/8/8/8/8/4K3 w - - 0 -3", false},
        {"4k3/8/8/8/8/8/8/4K3 w - - 0 1 trailing words", true},
        {"4k3/8/8/8/8/8/8/4K3 w - -x 0 1", false},
        // Positions the engine cannot play: a missing king, the side not to move in check,
        // a pawn on the first or last rank.
        {"8/8/8/8/8/8/8/8 w - - 0 1", false},
        {"4k3/8/8/8/8/8/8/8 w - - 0 1", false},
        {"4k3/8/8/8/8/8/8/4R1K1 w - - 0 1", false},
        {"4k3/8/8/8/8/8/8/4R1K1 b - - 0 1", true},
        {"P3k3/8/8/8/8/8/8/4K3 w - - 0 1", false},
        {"4k3/8/8/8/8/8/8/p3K3 w - - 0 1", false}};
  for (const FenCase& c : cases) {
    Position pos;
    EXPECT_EQ(setFromFen(pos, c.fen), c.accepted) << c.fen;
  }
}

TEST(Fen, HalfmoveFieldIsKeptModulo256) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, "4k3/8/8/8/8/8/8/4K3 w - - 300 80"));
  EXPECT_EQ(pos.halfmoveClock, 44);
  ASSERT_TRUE(setFromFen(pos, "4k3/8/8/8/8/8/8/4K3 w - - 17"));
  EXPECT_EQ(pos.halfmoveClock, 0);
}

TEST(Fen, EnPassantSquareIsKeptOnlyWhenAPawnCanTake) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, "4k3/8/8/4p3/8/8/8/4K3 w - e6 0 1"));
  EXPECT_EQ(pos.epSquare, NoSquare);
  EXPECT_EQ(pos.key(), pos.computeKey());
  ASSERT_TRUE(setFromFen(pos, "4k3/8/8/3Pp3/8/8/8/4K3 w - e6 0 1"));
  EXPECT_EQ(pos.epSquare, makeSquare(5, 4));
  EXPECT_EQ(pos.key(), pos.computeKey());
}

// Castling with a missing rook would move a piece that is not there: such a right is a bad
// text, refused like any other.
TEST(Fen, CastlingRightsWithoutTheirPiecesAreRefused) {
  Position pos;
  EXPECT_FALSE(setFromFen(pos, "r3k3/8/8/8/8/8/8/4K2R w KQkq - 0 1"));
  ASSERT_TRUE(setFromFen(pos, "r3k3/8/8/8/8/8/8/4K2R w Kq - 0 1"));
  EXPECT_EQ(pos.castlingRights, CastleWK | CastleBQ);
  EXPECT_EQ(pos.key(), pos.computeKey());
}

// Castling fields in X-FEN and Shredder-FEN: what each mode accepts, and the X-FEN it writes.
TEST(Fen, CastlingFieldsOfChess960) {
  const struct {
    const char* fen;
    bool chess960;
    const char* written;  // the castling field written back; null when the text is refused
  } cases[] = {
      {"r3k2r/8/8/8/8/8/8/R3K2R w HAha - 0 1", false, "KQkq"},
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", true, "KQkq"},
      {"1r2k1r1/8/8/8/8/8/8/1R2K1R1 w KQkq - 0 1", true, "KQkq"},
      {"1r2k1r1/8/8/8/8/8/8/1R2K1R1 w GBgb - 0 1", true, "KQkq"},
      {"1r2k1r1/8/8/8/8/8/8/1R2K1R1 w GBgb - 0 1", false, nullptr},
      {"1r2k1r1/8/8/8/8/8/8/1R2K1R1 w KQkq - 0 1", false, nullptr},
      // An inner rook is named by its file; the outermost by K or Q, whichever form came in.
      {"6k1/8/8/8/8/8/8/1K2R2R w E - 0 1", true, "E"},
      {"6k1/8/8/8/8/8/8/1K2R2R w H - 0 1", true, "K"},
      {"rr2k3/8/8/8/8/8/8/4K3 w b - 0 1", true, "b"},
      {"rr2k3/8/8/8/8/8/8/4K3 w q - 0 1", true, "q"},
      // Rights without their rook, a file that is the king's, a king off the back rank, a right
      // named twice, and black's letters before white's.
      {"6k1/8/8/8/8/8/8/1K2R3 w H - 0 1", true, nullptr},
      {"6k1/8/8/8/8/8/8/1K2R3 w B - 0 1", true, nullptr},
      {"4k3/8/8/8/8/8/8/R3K3 w K - 0 1", true, nullptr},
      {"8/8/8/8/8/4k3/8/R3K2R w ha - 0 1", true, nullptr},
      {"4k3/8/8/8/8/8/8/R3K2R w HK - 0 1", true, nullptr},
      {"r3k2r/8/8/8/8/8/8/R3K2R w kK - 0 1", true, nullptr},
      {"r3k2r/8/8/8/8/8/8/R3K2R w I - 0 1", true, nullptr},
  };
  for (const auto& c : cases) {
    Position pos;
    const bool accepted = setFromFen(pos, c.fen, c.chess960);
    EXPECT_EQ(accepted, c.written != nullptr) << c.fen;
    if (!accepted || !c.written) continue;
    EXPECT_EQ(pos.key(), pos.computeKey()) << c.fen;
    const std::string text = fenText(pos, 1);
    EXPECT_EQ(text.substr(text.find(' ') + 3, std::string(c.written).size()), c.written) << c.fen;
  }
}

TEST(Fen, BlackToMoveAndRightsEnterTheKey) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, "r3k2r/8/8/8/8/8/8/R3K2R b Kq - 0 1"));
  EXPECT_EQ(pos.key(), pos.computeKey());
}

TEST(Fen, BoardTextShowsRanksFromEightDown) {
  Position pos;
  ASSERT_TRUE(setFromFen(pos, StartFen));
  EXPECT_EQ(boardText(pos, "# "),
            "# rnbqkbnr\n# pppppppp\n# ........\n# ........\n# ........\n# ........\n"
            "# PPPPPPPP\n# RNBQKBNR\n");
}

}  // namespace
}  // namespace varnu
