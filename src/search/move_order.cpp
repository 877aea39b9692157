#include "search/move_order.h"

#include <cstddef>
#include <cstring>

#include "board/move.h"
#include "eval/score_pair.h"

namespace varnu {

namespace {

constexpr int orderValue[7] = {0, 1, 2, 2, 3, 4, 5};
constexpr int exchangeRank[7] = {0, 1, 3, 3, 4, 5, 0};
constexpr int captureGainValue[7] = {0, 125, 400, 400, 600, 1125, 0};

int victimOf(const Position& pos, Move m) {
  return moveKind(m) == EnPassantMove ? int(Pawn) : int(pos.pieceType[moveToSquare(m)]);
}

bool holds(const Position& pos, int square, int colour, int type) {
  return onBoard(square) && pos.pieceType[square] == type && pos.colour[square] == colour;
}

// The most a quiet move's placement can gain: the largest difference between two squares of one
// piece-square table's middle-game values.
constexpr int maxPlacementGain() {
  int gain = 0;
  for (int colour = White; colour <= Black; ++colour) {
    for (int type = Pawn; type <= King; ++type) {
      int low = pieceSquareValue(colour, type, 0).mg, high = low;
      for (int index = 1; index < 64; ++index) {
        const int v = pieceSquareValue(colour, type, index).mg;
        low = v < low ? v : low;
        high = v > high ? v : high;
      }
      gain = high - low > gain ? high - low : gain;
    }
  }
  return gain;
}

// The scores below the floor: quiet moves (their attacker's order value taken off the placement
// gain), killers, and losing captures (at most a queen taken by a queen promotion, less 50).
// Winning captures score from 1000 + 64 - 5 and promotions from 1000 + 8 - 1.
static_assert(maxPlacementGain() < FirstPickFloor && 150 < FirstPickFloor &&
              64 * orderValue[Queen] + 8 * orderValue[Queen] - 50 < FirstPickFloor &&
              1000 + 64 * orderValue[Pawn] - orderValue[King] >= FirstPickFloor &&
              1000 + 8 * orderValue[Knight] - orderValue[Pawn] >= FirstPickFloor);

}  // namespace

CaptureOrder captureOrderScore(const Position& pos, Move m) {
  const int attacker = pos.pieceType[moveFromSquare(m)];
  const int victim = victimOf(pos, m);
  const int promo = promotionType(m);
  return {64 * orderValue[victim] + 8 * orderValue[promo] - orderValue[attacker],
          victim != NoPiece || promo != NoPiece};
}

LosingTest isLosingCapture(const Position& pos, Move m) {
  if (moveKind(m) == PromotionMove)
    return {false, captureGainValue[promotionType(m)] - captureGainValue[Pawn]};
  if (moveKind(m) == EnPassantMove) return {false, captureGainValue[Pawn]};
  const int to = moveToSquare(m);
  const int attacker = pos.pieceType[moveFromSquare(m)];
  const int victim = pos.pieceType[to];
  const int gain = captureGainValue[victim];
  if (exchangeRank[victim] >= exchangeRank[attacker]) return {false, gain};
  const int opponent = pos.sideToMove ^ 1;
  // An opponent pawn defends the target square.
  const bool pawnDefends =
      opponent == White ? holds(pos, to - 15, White, Pawn) || holds(pos, to - 17, White, Pawn)
                        : holds(pos, to + 15, Black, Pawn) || holds(pos, to + 17, Black, Pawn);
  if (pawnDefends) return {true, gain};
  const bool knightMatters = ((attacker == Rook || attacker == Queen) && victim == Pawn) ||
                             (attacker == Queen && exchangeRank[victim] == 3);
  if (knightMatters) {
    for (int d : knightOffsets)
      if (holds(pos, to - d, opponent, Knight)) return {true, gain};
  }
  return {false, gain};
}

KillerMoves killersOf(const Position& pos) {
  KillerMoves k{};
  const PlyRecord& here = pos.history[pos.historyCount];
  k.here[0] = here.killers[0];
  k.here[1] = here.killers[1];
  k.hasNext = pos.historyCount + 2 < MaxHistory;
  if (k.hasNext) {
    const PlyRecord& next = pos.history[pos.historyCount + 2];
    k.next[0] = next.killers[0];
    k.next[1] = next.killers[1];
  }
  return k;
}

void scoreMoves(const Position& pos, Move hashMove, MoveList& list) {
  scoreMoves(pos, hashMove, killersOf(pos), list);
}

void scoreMoves(const Position& pos, Move hashMove, const KillerMoves& killers, MoveList& list) {
  const int side = pos.sideToMove;
  for (uint32_t i = 0; i < list.count; ++i) {
    const Move m = list.entries[i].move;
    int score;
    if (hashMove != NullMove && sameMove(m, hashMove)) {
      score = 32000;
    } else {
      const CaptureOrder c = captureOrderScore(pos, m);
      if (c.isCaptureOrPromotion) {
        score = isLosingCapture(pos, m).losing ? c.score - 50 : c.score + 1000;
      } else if (isKiller(m, killers.here) || (killers.hasNext && isKiller(m, killers.next))) {
        score = c.score + 150;
      } else {
        const int from = moveFromSquare(m), to = moveToSquare(m);
        const int type = pos.pieceType[from];
        score = c.score + pieceSquareValue(side, type, square64(to)).mg -
                pieceSquareValue(side, type, square64(from)).mg;
      }
    }
    list.entries[i].score = int16_t(score);
  }
}

const MoveEntry* pickNextMove(uint32_t index, MoveList& list) {
  if (index >= list.count) return nullptr;
  // The entry at index is held in a register while the rest are scanned; each better one found
  // trades places with it, exactly as swapping them in the list would. Entries are read and
  // written as whole words and traded by masks, not by a branch: which entries beat the one held
  // is as good as random, and a mispredicted branch per new best costs more than the comparison.
  static_assert(sizeof(MoveEntry) == 4 && offsetof(MoveEntry, score) == 2);
  const auto word = [&](uint32_t i) {
    uint32_t w;
    std::memcpy(&w, &list.entries[i], 4);
    return w;
  };
  const auto score = [](uint32_t w) { return int16_t(uint16_t(w >> 16)); };
  uint32_t best = word(index);
  const uint32_t count = list.count;  // read once: the entries' stores might alias it
  for (uint32_t j = index + 1; j < count; ++j) {
    const uint32_t e = word(j);
    const uint32_t better = 0u - uint32_t(score(e) > score(best));
    const uint32_t left = (best & better) | (e & ~better);
    best = (e & better) | (best & ~better);
    std::memcpy(&list.entries[j], &left, 4);
  }
  std::memcpy(&list.entries[index], &best, 4);
  return &list.entries[index];
}

void recordKiller(Position& pos, Move m) {
  if (pos.pieceType[moveToSquare(m)] != NoPiece) return;
  if (moveKind(m) == PromotionMove || moveKind(m) == EnPassantMove) return;
  PlyRecord& record = pos.history[pos.historyCount];
  record.killers[1] = record.killers[0];
  record.killers[0] = m;
}

}  // namespace varnu
