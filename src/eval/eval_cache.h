// The evaluation caches of one search worker: pawn structures by pawn key, and the positional
// scores of whole positions by position key.
#pragma once

#include <cstdint>

#include "board/position.h"
#include "eval/pawns.h"

namespace varnu {

// Positional scores by position key. The positional terms depend only on the board and the side
// to move, which the key covers; a search evaluates many positions more than once (razoring's
// quiescence search, internal deepening, transpositions). Each entry is one word: the key's upper
// 48 bits, which with the index make the whole key, and the score in the low 16 bits.
class PositionalCache {
 public:
  static constexpr uint32_t Size = 16384;  // a power of two

  // True with the score when the cache holds the key.
  bool probe(uint64_t key, int& score) const {
    const uint64_t entry = entries_[key & (Size - 1)];
    if ((entry ^ key) >> 16 != 0 || key >> 16 == 0) return false;
    score = int16_t(uint16_t(entry));
    return true;
  }
  void store(uint64_t key, int score) {
    entries_[key & (Size - 1)] = (key & ~uint64_t(0xFFFF)) | uint16_t(int16_t(score));
  }

 private:
  uint64_t entries_[Size] = {};
};

class EvalCache {
 public:
  PawnCache pawns;
  PositionalCache positional;
};

}  // namespace varnu
