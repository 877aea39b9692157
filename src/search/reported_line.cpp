// The line a report shows, completed from the table and finished to the mate, within the rules
// that end a game.
#include "search/reported_line.h"

#include <algorithm>
#include <cstdlib>

#include "board/game_end.h"
#include "board/make_move.h"
#include "board/move.h"
#include "board/movegen.h"

namespace varnu {

namespace {

// The legal move of the position that the move names, or the null move: a table's move may
// belong to another position of the same key.
Move legalMove(Position& pos, Move m) {
  if (m == NullMove) return NullMove;
  MoveList legal;
  generateMoves(pos, inCheck(pos), legal);
  for (uint32_t i = 0; i < legal.count; ++i)
    if (sameMove(legal.entries[i].move, m)) return legal.entries[i].move;
  return NullMove;
}

void play(Position& pos, Move m) {
  UndoRecord undo;
  makeMove(pos, m, undo);
}

// True when no line goes on from the position: the game is over (no legal move, fifty moves,
// a threefold repetition) or the search scores it as drawn (any repetition, bare material).
bool lineEnds(Position& pos) { return countMoves(pos, inCheck(pos)) == 0 || checkDraw(pos).drawn; }

bool checkmated(Position& pos) { return inCheck(pos) && countMoves(pos, true) == 0; }

// A small search for the moves of a mate, beside the main search: legal moves only, the
// table's move tried first (a probe, which changes no entry), nothing stored, and at most
// MateLineNodes nodes over all its calls.
class MateLineSearch {
 public:
  explicit MateLineSearch(const TranspositionTable& table) : table_(table) {}

  // Appends to line the moves of a mate in exactly plies from the position (the side to move
  // mates when plies is odd and is mated when it is even) and leaves the position where the
  // line ends; false, with the line and the position undefined, when none is found.
  bool follow(Position& pos, int plies, PVLine& line) {
    if (plies == 0) return checkmated(pos);
    MoveList list;
    orderMoves(pos, list, plies % 2 == 1);
    for (int pass = 2; pass >= 0; --pass) {
      for (uint32_t i = 0; i < list.count; ++i) {
        if (list.entries[i].score != pass) continue;
        const Move m = list.entries[i].move;
        UndoRecord undo;
        makeMove(pos, m, undo);
        if (exactly(pos, plies - 1)) {
          if (line.length == PVLine::Capacity) return false;
          line.moves[line.length++] = m;
          return follow(pos, plies - 1, line);
        }
        unmakeMove(pos, m, undo);
        if (spent()) return false;
      }
    }
    return false;
  }

  bool spent() const { return nodes_ >= MateLineNodes; }

 private:
  // True when the position's mate is exactly plies away: no shorter one for the side that mates.
  bool exactly(Position& pos, int plies) {
    if (plies % 2 == 0) return mated(pos, plies) && (plies < 2 || !mated(pos, plies - 2));
    return mates(pos, plies) && (plies < 3 || !mates(pos, plies - 2));
  }

  // The side to move mates within plies (odd).
  bool mates(Position& pos, int plies) {
    if (++nodes_ >= MateLineNodes || plies < 1) return false;
    if (pos.historyCount + plies >= MaxHistory - 1 || checkDraw(pos).drawn) return false;
    MoveList list;
    orderMoves(pos, list, true);
    // A mate in one is a check; checks go first at any distance.
    for (int pass = 2; pass >= (plies == 1 ? 1 : 0); --pass) {
      for (uint32_t i = 0; i < list.count; ++i) {
        if (list.entries[i].score != pass) continue;
        const Move m = list.entries[i].move;
        UndoRecord undo;
        makeMove(pos, m, undo);
        const bool mate = (plies > 1 || inCheck(pos)) && mated(pos, plies - 1);
        unmakeMove(pos, m, undo);
        if (mate) return true;
      }
    }
    return false;
  }

  // The side to move is mated within plies (even), whatever it plays. A mate on the ply that
  // reaches the fifty-move limit is still a mate.
  bool mated(Position& pos, int plies) {
    if (++nodes_ >= MateLineNodes) return false;
    const bool check = inCheck(pos);
    MoveList list;
    generateMoves(pos, check, list);
    if (list.count == 0) return check;
    if (plies < 2 || checkDraw(pos).drawn) return false;
    const Move stored = table_.probe(pos, -MateScore, MateScore, 0, 0).move;
    for (uint32_t i = 0; i < list.count; ++i)
      if (sameMove(list.entries[i].move, stored)) std::swap(list.entries[0], list.entries[i]);
    for (uint32_t i = 0; i < list.count; ++i) {
      const Move m = list.entries[i].move;
      UndoRecord undo;
      makeMove(pos, m, undo);
      const bool mate = mates(pos, plies - 1);
      unmakeMove(pos, m, undo);
      if (!mate) return false;
    }
    return true;
  }

  // The legal moves ranked in their scores: 2 the table's move, 1 a check, 0 the rest. Checks
  // are told apart only where asked for (the side that mates).
  void orderMoves(Position& pos, MoveList& list, bool checksFirst) {
    generateMoves(pos, inCheck(pos), list);
    const Move stored = table_.probe(pos, -MateScore, MateScore, 0, 0).move;
    for (uint32_t i = 0; i < list.count; ++i) {
      MoveEntry& e = list.entries[i];
      if (sameMove(e.move, stored)) {
        e.score = 2;
      } else if (checksFirst) {
        UndoRecord undo;
        makeMove(pos, e.move, undo);
        e.score = inCheck(pos) ? 1 : 0;
        unmakeMove(pos, e.move, undo);
      } else {
        e.score = 0;
      }
    }
  }

  const TranspositionTable& table_;
  uint64_t nodes_ = 0;
};

// The position after the first plies moves of the line.
Position positionAfter(const Position& root, const PVLine& line, int plies) {
  Position pos = root;
  for (int i = 0; i < plies; ++i) play(pos, line.moves[i]);
  return pos;
}

// A mate line whose end is not the mate the score tells of is finished by the mate search:
// from its last move back, the first position from which it finds the mate in the plies left
// keeps the line up to there. The line's first move stays, since it is the move the search
// chose.
void finishMate(const Position& root, PVLine& full, const TranspositionTable& table, int score) {
  const int plies = MateScore - std::abs(score);
  // The mate's positions must fit in the history after the game's.
  if (plies < 1 || plies > PVLine::Capacity || root.historyCount + plies + 2 >= MaxHistory) return;
  if (full.length == plies) {
    Position end = positionAfter(root, full, plies);
    if (checkmated(end)) return;
  }
  MateLineSearch search(table);
  for (int kept = std::min<int>(full.length, plies - 1); kept >= 1 && !search.spent(); --kept) {
    Position pos = positionAfter(root, full, kept);
    PVLine tail;
    if (!search.follow(pos, plies - kept, tail)) continue;
    full.length = uint16_t(kept);
    for (int i = 0; i < tail.length; ++i) full.moves[full.length++] = tail.moves[i];
    return;
  }
}

}  // namespace

PVLine completeLine(const Position& root, const PVLine& line, const TranspositionTable& table,
                    int score) {
  PVLine full;
  Position pos = root;
  bool ended = false;
  // The search's own moves: a table cutoff in the search put the table's move into the line,
  // which is legal only where the key was the position's own.
  for (int i = 0; i < line.length && !ended && pos.historyCount + 1 < MaxHistory; ++i) {
    const Move m = legalMove(pos, line.moves[i]);
    if (m == NullMove) break;
    play(pos, m);
    full.moves[full.length++] = m;
    ended = lineEnds(pos);
  }
  while (!ended && full.length < PVLine::Capacity && pos.historyCount + 1 < MaxHistory) {
    const Move next = legalMove(pos, table.probe(pos, -MateScore, MateScore, 0, 0).move);
    if (next == NullMove) break;
    play(pos, next);
    // A table move that comes back to a position would only go round.
    const DrawResult draw = checkDraw(pos);
    if (draw.code == RepetitionDraw || (draw.drawn && draw.code == NoDraw)) break;
    full.moves[full.length++] = next;
    ended = lineEnds(pos);
  }
  if (std::abs(score) > MateThreshold) finishMate(root, full, table, score);
  return full;
}

}  // namespace varnu
