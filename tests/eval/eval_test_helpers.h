// Helpers shared by the evaluation tests: square names, positions with their pawn summary, and
// readable ScorePairs in failure messages.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <cctype>
#include <ostream>
#include <sstream>
#include <string>

#include "board/fen.h"
#include "eval/pawns.h"

namespace varnu {

inline void PrintTo(const ScorePair& s, std::ostream* os) {
  *os << "(" << s.mg << ", " << s.eg << ")";
}

namespace testing_eval {

// 0x88 square of a name such as "e4".
inline int square(const char* name) { return makeSquare(name[1] - '1', name[0] - 'a'); }

// 64-square set of the named squares.
inline uint64_t squareSet(std::initializer_list<const char*> names) {
  uint64_t set = 0;
  for (const char* n : names) set |= uint64_t(1) << square64(square(n));
  return set;
}

struct Loaded {
  Position pos;
  PawnInfo info;
};

// Sets the position from FEN and builds its pawn summary; fails the test for a refused FEN.
inline void load(Loaded& l, const char* fen) {
  ASSERT_TRUE(setFromFen(l.pos, fen)) << fen;
  buildPawnInfo(l.info, l.pos);
}

// The colour-flipped position: board mirrored top to bottom, colours and side to move swapped.
// Castling rights and the en-passant square are dropped; the clocks are kept.
inline std::string flipFen(const std::string& fen) {
  std::istringstream in(fen);
  std::string board, side, castling, ep, halfmoves = "0", fullmoves = "1";
  in >> board >> side >> castling >> ep >> halfmoves >> fullmoves;
  std::string flipped;
  size_t end = board.size();
  while (true) {
    const size_t slash = board.rfind('/', end - 1);
    const size_t begin = slash == std::string::npos ? 0 : slash + 1;
    for (size_t i = begin; i < end; ++i) {
      const char c = board[i];
      flipped += std::isupper(c) ? char(std::tolower(c)) : char(std::toupper(c));
    }
    if (slash == std::string::npos) break;
    flipped += '/';
    end = slash;
  }
  return flipped + (side == "w" ? " b" : " w") + " - - " + halfmoves + " " + fullmoves;
}

}  // namespace testing_eval
}  // namespace varnu
