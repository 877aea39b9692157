// Playing levels below full strength. A level searches fewer nodes, so that it misses tactics a
// few plies deep as a weaker player does, and it searches several lines and plays one of them by
// chance, the better ones the likelier, so that it misjudges close choices rather than throwing
// pieces away. Against a bare king it plays at full strength: a won ending stays won.
#pragma once

#include <cstdint>

#include "board/move.h"
#include "board/position.h"
#include "search/search_limits.h"
#include "search/searcher.h"

namespace varnu {

// The rating played at: Skill Level 0 to TopSkillLevel spans the ratings from the lowest to full
// strength in even steps; with the strength limited to elo as well, the lower of the two counts.
int levelRating(int skillLevel, bool limitStrength, int elo);

// What a level does, by its rating.
struct LevelPlan {
  uint64_t nodes;   // the most nodes a move may search
  int lines;        // the lines searched to choose among
  int temperature;  // centipawns: how readily a worse line is chosen
  int maxLoss;      // centipawns: no line worse than the best by more is chosen
};

LevelPlan levelPlan(int elo);

// True when the level weakens the search of this position: a move is to be played (not an
// analysis nor a search for a mate), and the opponent has more than a king.
bool levelApplies(const Position& game, const SearchLimits& limits);

// Sets the limits of a search at a level: its nodes, and more lines searched than shown.
void applyLevel(SearchLimits& limits);

// The line a level plays among the search's lines (best first): chosen by the game's seed and ply,
// so that the same game plays the same moves again.
int chooseLine(const Searcher::RootLine* lines, int count, int elo, uint64_t seed, int ply);

}  // namespace varnu
