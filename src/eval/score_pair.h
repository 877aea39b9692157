// Score pairs (middle game, end game), the game phase, the tapered blend and the piece-square
// tables that already include each piece's material value.
#pragma once

#include <cstdint>

#include "board/types.h"

namespace varnu {

class Position;
struct EvalBreakdown;

// Two independent 16-bit scores. Sums wrap within each half; no carry passes between them.
struct ScorePair {
  int16_t mg = 0;
  int16_t eg = 0;

  constexpr ScorePair() = default;
  constexpr ScorePair(int m, int e) : mg(int16_t(m)), eg(int16_t(e)) {}

  constexpr ScorePair operator+(ScorePair o) const { return {mg + o.mg, eg + o.eg}; }
  constexpr ScorePair operator-(ScorePair o) const { return {mg - o.mg, eg - o.eg}; }
  constexpr ScorePair& operator+=(ScorePair o) { return *this = *this + o; }
  constexpr ScorePair& operator-=(ScorePair o) { return *this = *this - o; }
  constexpr bool operator==(const ScorePair&) const = default;
};

inline constexpr int MaxPhase = 24;

// Tapered value: mg at phase 24, eg at phase 0, the division truncating toward zero.
constexpr int blend(int mg, int eg, int phase) {
  return (mg * phase + eg * (MaxPhase - phase)) / MaxPhase;
}
constexpr int blend(ScorePair s, int phase) { return blend(s.mg, s.eg, phase); }

inline constexpr ScorePair materialValue[7] = {
    {0, 0}, {90, 100}, {320, 330}, {325, 335}, {490, 500}, {980, 990}, {0, 0}};

// Bonus for the side to move, as a pair.
inline constexpr ScorePair sideToMoveBonus{8, 0};

namespace pst_detail {

// File terms for files a-d (e-h mirror them) and rank terms for ranks 1-8, per piece type.
inline constexpr ScorePair fileTerm[7][4] = {
    {},
    {{-8, 0}, {0, 0}, {0, 0}, {0, 0}},
    {{-32, -20}, {-14, -14}, {-4, 0}, {0, 14}},
    {{-12, -12}, {4, -2}, {0, -2}, {-4, 6}},
    {{-10, 0}, {-4, 0}, {-2, 0}, {0, 0}},
    {{-2, -16}, {2, -6}, {2, 0}, {2, 6}},
    {{0, 0}, {10, 20}, {-10, 30}, {-30, 40}},
};
inline constexpr ScorePair rankTerm[7][8] = {
    {},
    {{0, 0}, {0, 0}, {0, 0}, {0, 0}, {2, 4}, {4, 8}, {16, 32}, {0, 0}},
    {{-30, -20}, {-4, -8}, {4, -2}, {20, 2}, {20, 2}, {28, -2}, {6, -8}, {-12, -20}},
    {{-14, -14}, {0, -6}, {4, -2}, {4, -2}, {4, -2}, {0, -2}, {-2, -6}, {-8, -14}},
    {{-4, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {4, 0}, {-4, 0}},
    {{-2, -16}, {2, -6}, {2, 0}, {2, 6}, {2, 6}, {2, 0}, {2, -6}, {-2, -16}},
    {{0, 0}, {-10, 20}, {-30, 30}, {-40, 40}, {-50, 40}, {-60, 30}, {-70, 20}, {-80, 0}},
};

struct Tables {
  ScorePair entry[12][64];
};

constexpr Tables build() {
  Tables t{};
  for (int type = Pawn; type <= King; ++type) {
    ScorePair* white = t.entry[type - 1];
    for (int r = 0; r < 8; ++r) {
      for (int f = 0; f < 4; ++f) {
        ScorePair v{};
        if (type != Pawn || (r >= 1 && r <= 6)) v = fileTerm[type][f] + rankTerm[type][r];
        white[8 * r + f] = v;
      }
    }
    if (type == Pawn) {
      // Centre bonus on the middle-game half: c3 d3 c4 c5 c6 d6, and more for d4 d5.
      constexpr int small[] = {8 * 2 + 2, 8 * 2 + 3, 8 * 3 + 2, 8 * 4 + 2, 8 * 5 + 2, 8 * 5 + 3};
      for (int s : small) white[s] += ScorePair{4, 0};
      white[8 * 3 + 3] += ScorePair{16, 0};
      white[8 * 4 + 3] += ScorePair{16, 0};
    }
    if (type == Knight) white[8 * 7 + 0] = ScorePair{-40, -40};
    for (int r = 0; r < 8; ++r) {
      for (int f = 0; f < 4; ++f) {
        white[8 * r + f] += materialValue[type];
        white[8 * r + 7 - f] = white[8 * r + f];
      }
    }
    ScorePair* black = t.entry[6 + type - 1];
    for (int r = 0; r < 8; ++r)
      for (int f = 0; f < 8; ++f) black[8 * r + f] = white[8 * (7 - r) + f];
  }
  return t;
}

inline constexpr Tables tables = build();

}  // namespace pst_detail

// Full value (material included) of a piece of the colour and type on a 64-square index.
constexpr ScorePair pieceSquareValue(int colour, int type, int index64) {
  return pst_detail::tables.entry[colour * 6 + type - 1][index64];
}

// Game phase 0..24 from the minor and major pieces of both colours.
int gamePhase(const Position& pos);

// The "Material/PST" term plus the side-to-move bonus, from the side to move's view.
int materialPstScore(const Position& pos, int phase);
// The same value; also adds each colour's materialPst to its columns of the "Material/PST" row
// and 8 to the side to move's mg column of the "Side to move" row.
int materialPstScore(const Position& pos, int phase, EvalBreakdown& breakdown);

}  // namespace varnu
