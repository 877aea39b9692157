#include "search/playing_level.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace varnu {

namespace {

// A 64-bit mix of the seed and the ply (SplitMix64's finaliser): a number per move that depends
// on nothing else.
uint64_t mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

}  // namespace

int levelRating(int skillLevel, bool limitStrength, int elo) {
  const int rating = LowestElo + (FullStrengthElo - LowestElo) * skillLevel / TopSkillLevel;
  return limitStrength ? std::min(rating, elo) : rating;
}

LevelPlan levelPlan(int elo) {
  // The plan at a few ratings, found in games against Stockfish's own levels (docs/levels.md);
  // between two of them the nodes follow a log scale and the temperature a straight line. A
  // doubling of the nodes is worth about 140 points at the bottom and 50 near the top; the
  // temperature adds the weaker players' misjudged choices, and a few points of chance even
  // near full strength so that games differ.
  struct Anchor {
    int elo;
    double nodes;
    double temperature;
  };
  static constexpr Anchor anchors[] = {
      {LowestElo, 200, 40},
      {1200, 450, 20},
      {1400, 1150, 15},
      {1600, 4500, 12},
      {1800, 19000, 10},
      {1900, 57000, 8},
      {FullStrengthElo, 250000, 5},
  };
  elo = std::clamp(elo, LowestElo, FullStrengthElo);
  size_t i = 1;
  while (i + 1 < std::size(anchors) && anchors[i].elo < elo) ++i;
  const Anchor& low = anchors[i - 1];
  const Anchor& high = anchors[i];
  const double f = double(elo - low.elo) / (high.elo - low.elo);
  LevelPlan plan;
  plan.nodes = uint64_t(low.nodes * std::pow(high.nodes / low.nodes, f) + 0.5);
  plan.lines = 4;
  plan.temperature = int(low.temperature + f * (high.temperature - low.temperature) + 0.5);
  // A line chosen by chance never gives away more than a pawn: bigger mistakes come only from
  // what the short search misses, as a player's do.
  plan.maxLoss = std::min(3 * plan.temperature, 100);
  return plan;
}

bool levelApplies(const Position& game, const SearchLimits& limits) {
  // An analysis ("go infinite", xboard's analyze) and a search for a mate are answered at full
  // strength: a level is about the moves played.
  if (!limits.level.active() || limits.infinite || limits.mate > 0 ||
      !(limits.moveWanted || limits.sessionClock || limits.moveTime > 0))
    return false;
  return game.pieceList[game.sideToMove ^ 1].pieceCount > 1;
}

void applyLevel(SearchLimits& limits) {
  const LevelPlan plan = levelPlan(limits.level.elo);
  limits.nodes = limits.nodes > 0 ? std::min(limits.nodes, plan.nodes) : plan.nodes;
  limits.linesShown = limits.multiPV;
  limits.multiPV = std::max(limits.multiPV, plan.lines);
}

int chooseLine(const Searcher::RootLine* lines, int count, int elo, uint64_t seed, int ply) {
  if (count <= 1) return 0;
  const LevelPlan plan = levelPlan(elo);
  const int best = lines[0].score;
  double weights[MaxMultiPV];
  double total = 0;
  int n = 0;
  for (; n < count; ++n) {
    const int loss = best - lines[n].score;
    // A mate, or a line that loses more than the level allows, ends the choice.
    if (loss > plan.maxLoss || std::abs(lines[n].score) > MateThreshold) break;
    weights[n] = std::exp(-double(loss) / plan.temperature);
    total += weights[n];
  }
  if (n <= 1) return 0;
  const double pick = double(mix(seed ^ uint64_t(ply)) >> 11) / double(1ULL << 53) * total;
  double sum = 0;
  for (int i = 0; i < n; ++i) {
    sum += weights[i];
    if (pick < sum) return i;
  }
  return n - 1;
}

}  // namespace varnu
