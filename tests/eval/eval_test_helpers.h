// Helpers shared by the evaluation tests: square names, positions with their pawn summary, and
// readable ScorePairs in failure messages.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <ostream>

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

}  // namespace testing_eval
}  // namespace varnu
