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

// The longest mate, in plies, that the mate line's own search tries to prove.
constexpr int MateProofPlies = 9;

// A small search for the moves of a mate, beside the main search: legal moves only, the
// table's move tried first (a probe, which changes no entry), nothing stored, and at most
// MateLineNodes nodes over all its calls.
class MateLineSearch {
 public:
  explicit MateLineSearch(const TranspositionTable& table) : table_(table) {}

  // Appends to line the moves of a mate in exactly plies from the position (the side to move
  // mates when plies is odd and is mated when it is even) and leaves the position where the
  // line ends; false, with the line and the position as they were, when none is found.
  bool follow(Position& pos, int plies, PVLine& line) {
    if (plies == 0) return checkmated(pos);
    if (followTable(pos, plies, line)) return true;
    // Beyond this a proof of the mate by the search below outgrows its nodes.
    if (plies > MateProofPlies) return false;
    MoveList list;
    orderMoves(pos, list, plies % 2 == 1);
    for (int pass = 2; pass >= 0; --pass) {
      for (uint32_t i = 0; i < list.count; ++i) {
        if (list.entries[i].score != pass) continue;
        const Move m = list.entries[i].move;
        UndoRecord undo;
        makeMove(pos, m, undo);
        if (exactly(pos, plies - 1)) {
          if (line.length < PVLine::Capacity) {
            const uint16_t length = line.length;
            line.moves[line.length++] = m;
            if (follow(pos, plies - 1, line)) return true;
            line.length = length;
          }
          unmakeMove(pos, m, undo);
          return false;
        }
        unmakeMove(pos, m, undo);
        if (spent()) return false;
      }
    }
    return false;
  }

  bool spent() const { return nodes_ >= MateLineNodes; }

 private:
  // The mate's line as the table scores it: a move whose position the table scores as the mate
  // exactly one ply nearer, then on from there. The search that found the mate stored such
  // scores along its line, often after the moves themselves were overwritten; a long mate is
  // found this way without the proof a search of its own would need. Exact scores are tried
  // before bounds of the same value, which a search's mate-distance limits can leave looser
  // than the mate. Where the table has no such score the search below takes over.
  bool followTable(Position& pos, int plies, PVLine& line) {
    if (line.length == PVLine::Capacity) return false;
    MoveList list;
    generateMoves(pos, inCheck(pos), list);
    const int left = plies - 1;
    const int target = left % 2 == 1 ? MateScore - left : -(MateScore - left);
    // Ranks: 2 the mate itself or an exact score of the mate one ply nearer, 1 a bound of that
    // value, 0 neither.
    bool any = false;
    for (uint32_t i = 0; i < list.count; ++i) {
      MoveEntry& e = list.entries[i];
      UndoRecord undo;
      makeMove(pos, e.move, undo);
      ++nodes_;
      e.score = 0;
      if (left == 0) {
        if (checkmated(pos)) e.score = 2;
      } else if (!checkDraw(pos).drawn) {
        if (table_.probe(pos, target - 1, target + 1, 0, 0).score == target)
          e.score = 2;
        else if (table_.probe(pos, target, target, 0, 0).score == target)
          e.score = 1;
      }
      unmakeMove(pos, e.move, undo);
      any = any || e.score > 0;
    }
    for (int rank = 2; any && rank >= 1; --rank) {
      for (uint32_t i = 0; i < list.count && !spent(); ++i) {
        if (list.entries[i].score != rank) continue;
        const Move m = list.entries[i].move;
        UndoRecord undo;
        makeMove(pos, m, undo);
        const uint16_t length = line.length;
        line.moves[line.length++] = m;
        if (left == 0 || follow(pos, left, line)) return true;
        line.length = length;
        unmakeMove(pos, m, undo);
      }
    }
    return false;
  }

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
  if (reachesMate(root, full, score)) return;
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

bool reachesMate(const Position& root, const PVLine& line, int score) {
  if (std::abs(score) <= MateThreshold || line.length != MateScore - std::abs(score)) return false;
  Position end = positionAfter(root, line, line.length);
  return checkmated(end);
}

}  // namespace varnu
