#include "search/playing_level.h"

#include <algorithm>
#include <cmath>

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

LevelPlan levelPlan(int elo) {
  // weakness runs from 0 at full strength to 1 at the lowest level.
  const double weakness =
      std::clamp(double(FullStrengthElo - elo) / (FullStrengthElo - LowestElo), 0.0, 1.0);
  LevelPlan plan;
  // From about 50,000 nodes a move near full strength down to 500 at the lowest level.
  plan.nodes = uint64_t(500 * std::pow(10.0, 2 * (1 - weakness)));
  plan.lines = 4;
  plan.temperature = int(10 + 140 * weakness);
  plan.maxLoss = 3 * plan.temperature;
  return plan;
}

bool levelApplies(const Position& game, const SearchLimits& limits) {
  if (!limits.level.active() || limits.infinite || !(limits.moveWanted || limits.sessionClock ||
                                                      limits.moveTime > 0))
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
