#include "eval/evaluate.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>

#include "eval/endgame.h"
#include "eval/eval_cache.h"
#include "eval/pawns.h"
#include "eval/pieces.h"
#include "eval/score_pair.h"

namespace varnu {

namespace {

// The positional part may move the score by at most this much either way, which also makes
// material-and-placement plus or minus this margin a true bound for the lazy exit.
constexpr int PositionalLimit = 200;
constexpr ScorePair bishopPairBonus{30, 60};

int materialPst(const Position& pos, int phase, const NoRecord&) {
  return materialPstScore(pos, phase);
}
int materialPst(const Position& pos, int phase, const Record& record) {
  return materialPstScore(pos, phase, record.breakdown);
}

template <class Recorder>
int positionalTerms(const Position& pos, int phase, const PawnEntry& pawns,
                    const Recorder& recorder) {
  const PawnInfo& info = pawns.info;
  int total[2];
  for (int c = White; c <= Black; ++c) {
    ScorePair sum = pieceTerms(pos, info, c, recorder);
    // The entry holds the weak-pawn sums; only a breakdown needs them computed again to record.
    if constexpr (std::is_same_v<Recorder, NoRecord>)
      sum += pawns.weak[c];
    else
      sum += weakPawnTerm(info, c, recorder);
    sum += passedPawnTerm(info, pos, c, recorder);
    sum += kingSafetyTerm(pos, info, c, recorder);
    if (pos.pieceList[c].typeCount[Bishop] >= 2) {
      sum += bishopPairBonus;
      recorder.add(RowBishopPair, c, bishopPairBonus);
    }
    total[c] = blend(sum, phase);
  }
  const int d = pos.sideToMove == White ? total[White] - total[Black] : total[Black] - total[White];
  return std::clamp(d, -PositionalLimit, PositionalLimit);
}

// The positional terms with the pawn entry built here.
template <class Recorder>
int positionalTerms(const Position& pos, int phase, const Recorder& recorder) {
  PawnEntry pawns;
  fillPawnEntry(pawns, pos);
  return positionalTerms(pos, phase, pawns, recorder);
}

// The positional terms through a worker's caches. A position set up beyond the slot plan is
// left out of them: its terms follow its slots, which its keys do not describe.
int cachedPositionalTerms(const Position& pos, int phase, EvalCache& cache) {
  if (pos.slotOverflow) return positionalTerms(pos, phase, NoRecord{});
  int score;
  if (cache.positional.probe(pos.key(), score)) return score;
  score = positionalTerms(pos, phase, cache.pawns.probe(pos), NoRecord{});
  cache.positional.store(pos.key(), score);
  return score;
}

// The score; the positional terms go through the caches when they are given.
template <class Recorder>
int evaluateTerms(const Position& pos, int alpha, int beta, EvalBreakdown& scratch,
                  const Recorder& recorder, EvalCache* cache = nullptr) {
  assert(pos.sideToMove == White || pos.sideToMove == Black);
  const int phase = gamePhase(pos);
  const int scale = scaleFactor(pos);
  scratch.phase = phase;
  scratch.scale = scale;

  // Pawnless positions with a decisive material edge: drive the defending king to the edge.
  // This score is final: neither cut, clamped nor scaled.
  MatingMaterial material;
  if (findMatingSide(pos, material)) return mateEvaluation(material, phase, pos, recorder);

  const int e = materialPst(pos, phase, recorder);
  // Without draw scaling, e plus or minus the clamp bounds the full score, so a window that
  // lies beyond it needs no positional terms.
  if (scale == 100) {
    if (e + PositionalLimit <= alpha) return e + PositionalLimit;
    if (e - PositionalLimit >= beta) return e - PositionalLimit;
  }
  int f;
  if constexpr (std::is_same_v<Recorder, NoRecord>)
    f = cache ? cachedPositionalTerms(pos, phase, *cache) : positionalTerms(pos, phase, recorder);
  else
    f = positionalTerms(pos, phase, recorder);
  return (e + f) * scale / 100;
}

// One row: the colours' halves, each colour's blend, and the blend of white minus black.
std::string formatRow(const char* name, const int16_t (&row)[4], int phase) {
  const int wMg = row[0], wEg = row[1], bMg = row[2], bEg = row[3];
  char text[128];
  std::snprintf(text, sizeof text, "%-32s   %4d %4d (%4d)   %4d %4d (%4d)   %4d\n", name, wMg, wEg,
                blend(wMg, wEg, phase), bMg, bEg, blend(bMg, bEg, phase),
                blend(wMg - bMg, wEg - bEg, phase));
  return text;
}

// Row names by row number; rows 14 and 15 are never used.
constexpr const char* rowNames[EvalRowCount] = {
    "Material/PST",         // 0
    "Passed pawns",         // 1
    "Weak pawns",           // 2
    "Knights",              // 3
    "Bishops",              // 4
    "Rooks",                // 5
    "Queens",               // 6
    "King safety",          // 7
    "Bishop pair",          // 8
    "Side to move",         // 9
    "M: Material",          // 10
    "M: King edge dist",    // 11
    "M: King dist",         // 12
    "M: KBNK safe corner",  // 13
    "",
    "",
};

constexpr std::string_view separator =
    "==============================================================================";

}  // namespace

int evaluate(const Position& pos, int alpha, int beta, EvalBreakdown& scratch) {
  return evaluateTerms(pos, alpha, beta, scratch, NoRecord{});
}

int evaluate(const Position& pos, int alpha, int beta, EvalCache& cache) {
  EvalBreakdown scratch;
  return evaluateTerms(pos, alpha, beta, scratch, NoRecord{}, &cache);
}

int evaluateWithBreakdown(const Position& pos, EvalBreakdown& breakdown) {
  return evaluateTerms(pos, -MateScore, MateScore, breakdown, Record{breakdown});
}

int positionalScore(const Position& pos, int phase) {
  return positionalTerms(pos, phase, NoRecord{});
}

int positionalScore(const Position& pos, int phase, EvalBreakdown& breakdown) {
  return positionalTerms(pos, phase, Record{breakdown});
}

const char* evalRowName(int row) { return rowNames[row]; }

std::string evalTable(const Position& pos) {
  EvalBreakdown breakdown;
  const int total = evaluateWithBreakdown(pos, breakdown);
  const std::string line = std::string(separator) + "\n";
  std::string table = line;
  table += "Evaluation part                    w-MG w-EG (wTot)   b-MG b-EG (bTot)   Total\n";
  table += line;
  for (int row : EvalShownRows)
    table += formatRow(rowNames[row], breakdown.rows[row], breakdown.phase);
  table += line;
  char last[128];
  std::snprintf(last, sizeof last,
                "Phase = %3d          Scaling factor = %3.2f          Total evaluation = %6d\n",
                breakdown.phase, breakdown.scale / 100.0, pos.sideToMove == White ? total : -total);
  table += last;
  table += line;
  return table;
}

}  // namespace varnu
