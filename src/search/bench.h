// The search benchmark: a fixed set of positions searched to a fixed depth on one thread. Its
// total node count is the engine's signature: it changes only when the search tree does.
#pragma once

#include <cstdint>
#include <span>

#include "board/types.h"
#include "search/transposition_table.h"

namespace varnu {

// Openings, middlegames and endgames, in FEN.
extern const std::span<const char* const> benchPositions;

// The depth of the "bench" command when none is given, and the size of its table.
inline constexpr int BenchDefaultDepth = 9;
inline constexpr uint32_t BenchHashMegabytes = 64;

struct BenchResult {
  bool valid = false;  // false when the FEN was refused
  Move best = NullMove;
  int score = 0;
  uint64_t nodes = 0;
};

// Searches the position to the depth with the table cleared first, so that every run builds
// the same tree; multiPV best lines at each depth.
BenchResult benchSearch(const char* fen, int depth, TranspositionTable& table, int multiPV = 1);

}  // namespace varnu
