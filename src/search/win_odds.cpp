#include "search/win_odds.h"

#include <algorithm>
#include <cmath>

#include "board/types.h"

namespace varnu {

namespace {

// The fitted constants: the score of even odds for a win, and the width of the odds' turn, at
// the start of a game and how much each changes by the end of its first 160 plies.
constexpr double EvenAtStart = 31.3, EvenGrowth = 187.9;
constexpr double WidthAtStart = 78.4, WidthGrowth = 16.3;
constexpr int PlyScale = 160;

}  // namespace

WinOdds winOdds(int score, int ply) {
  // Mates and the tables' results are certain.
  if (score > DistanceThreshold) return {1000, 0, 0};
  if (score < -DistanceThreshold) return {0, 0, 1000};
  const double x = std::min(std::max(ply, 0), PlyScale) / double(PlyScale);
  const double even = EvenAtStart + EvenGrowth * x;
  const double width = std::max(WidthAtStart + WidthGrowth * x, 1.0);
  const double s = std::clamp(score, -4000, 4000);
  const int win = int(std::lround(1000 / (1 + std::exp(-(s - even) / width))));
  const int loss = int(std::lround(1000 / (1 + std::exp(-(-s - even) / width))));
  const int draw = std::max(1000 - win - loss, 0);
  // Rounding may leave the three a point off 1000; the largest takes the difference.
  WinOdds odds{win, draw, loss};
  const int off = 1000 - (win + draw + loss);
  int* largest = &odds.win;
  if (odds.draw > *largest) largest = &odds.draw;
  if (odds.loss > *largest) largest = &odds.loss;
  *largest += off;
  return odds;
}

}  // namespace varnu
