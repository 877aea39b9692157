// Endgame knowledge: the draw-scaling factor (fifty-move counter and a few known drawn endings)
// and the mating evaluation of pawnless positions with a decisive material edge.
#pragma once

#include <cstdint>

#include "board/position.h"
#include "eval/evaluate.h"

namespace varnu {

// Material counted by the mating test only, per piece type; the king is not counted.
inline constexpr int mateMaterialValue[7] = {0, 100, 325, 325, 500, 975, 0};

// A side whose mating material exceeds the other's by at least this much can force mate.
inline constexpr int MatingMargin = 175;

// Distance of each square (8 * rank + file) to the nearest edge: 0 on the edge, 3 in the centre.
struct EdgeDistanceTable {
  uint8_t distance[64];
};

constexpr EdgeDistanceTable buildEdgeDistance() {
  EdgeDistanceTable t{};
  for (int r = 0; r < 8; ++r) {
    for (int f = 0; f < 8; ++f) {
      int d = f < 7 - f ? f : 7 - f;
      if (r < d) d = r;
      if (7 - r < d) d = 7 - r;
      t.distance[8 * r + f] = uint8_t(d);
    }
  }
  return t;
}

inline constexpr EdgeDistanceTable edgeDistance = buildEdgeDistance();

// The percentage 0..100 applied to the evaluation: it falls with the fifty-move counter, and with
// at most four pieces on the board the known drawish endings lower it further.
int scaleFactor(const Position& pos);

// Mating-material sums of both colours and the colour that can force mate (NoColour for none).
struct MatingMaterial {
  int sum[2] = {0, 0};
  int winner = NoColour;
};

// True when the position has no pawns and one colour leads by the mating margin; fills the sums
// and the winner (which stays NoColour, the sums 0, when a pawn is on the board).
bool findMatingSide(const Position& pos, MatingMaterial& material);

// The mating evaluation from the side to move's view: material, the defending king driven to the
// edge, the kings brought together and, for bishop and knight, the defending king kept from the
// corners where no mate can be forced. Recorded in rows 9-13 of the breakdown.
template <class Recorder>
int mateEvaluation(const MatingMaterial& material, int phase, const Position& pos,
                   const Recorder& recorder);
inline int mateEvaluation(const MatingMaterial& material, int phase, const Position& pos) {
  return mateEvaluation(material, phase, pos, NoRecord{});
}

// Square of the colour's first pawn in slot order, or NoSquare.
int firstPawn(const Position& pos, int colour);
// Square of the colour's first bishop: the bishop slots first, then promoted pieces; or NoSquare.
int firstBishop(const Position& pos, int colour);

}  // namespace varnu
