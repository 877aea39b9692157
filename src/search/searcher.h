// One worker's search: its own Position copy, its counters and stop flag, and the recursive
// searches (principal variation search, quiescence, the root and iterative deepening).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "board/move.h"
#include "board/movegen.h"
#include "board/position.h"
#include "eval/eval_cache.h"
#include "search/busy_moves.h"
#include "search/move_order.h"
#include "search/move_timer.h"
#include "search/note.h"
#include "search/search_limits.h"
#include "search/transposition_table.h"
#include "tablebase/tablebases.h"

namespace varnu {

class SharedIteration;

// A principal variation: up to 63 moves. Only the first length moves are meaningful: a line
// declared without braces leaves the rest unwritten, since the search declares one at every node.
struct PVLine {
  static constexpr int Capacity = 63;
  Move moves[Capacity];
  uint16_t length = 0;

  void clear() { length = 0; }
  bool empty() const { return length == 0; }
};

// line = move followed by the child's line (cut to fit).
void appendPV(Move move, const PVLine& child, PVLine& line);

// Adds the line's moves to text, each after a space, as the front ends print a line.
void appendMoveTexts(std::string& text, const PVLine& line,
                     const MoveNotation& notation = MoveNotation{});

// A counter that one thread writes and others read without a lock; the readers' figures may be
// a little stale, which is all they need.
class Counter {
 public:
  void add(uint64_t n = 1) {
    value_.store(value_.load(std::memory_order_relaxed) + n, std::memory_order_relaxed);
  }
  uint64_t get() const { return value_.load(std::memory_order_relaxed); }
  void reset() { value_.store(0, std::memory_order_relaxed); }

 private:
  std::atomic<uint64_t> value_{0};
};

// How a reported score stands to the root's true value: exact, or only a bound from a search
// that failed high (lower) or low (upper) and was not searched again.
enum class ScoreBound : uint8_t { Exact, Lower, Upper };

// Which of the root's best lines a report shows: 1 for the best, and its score's bound.
struct LineTag {
  int number = 1;
  ScoreBound bound = ScoreBound::Exact;
};

// What the master's search asks of the pool that runs it; the notes take the stop rules that end
// it.
class SearchHost : public NoteSink {
 public:
  // True when the move's time is spent (the master polls it every TimeoutInterval of its nodes).
  virtual bool checkTimeout() = 0;
  // A new best line at the root (only while one line is searched).
  virtual void reportThinking(int depth, int score, const PVLine& line, LineTag tag) = 0;
  // A line and its score of a completed iteration: the best one, or each of several in turn.
  virtual void reportIteration(int depth, int score, const PVLine& line, LineTag tag) = 0;
  // The statistics block at the end of a search.
  virtual void printStatistics() = 0;
};

// The mate-distance clamp of a node: the narrowed window and the limits stored with results.
struct MateWindow {
  int alpha;
  int beta;
  int lowerLimit;
  int upperLimit;
};

// Keeps the root moves that the limits allow: those of searchmoves when it names any, less the
// excluded ones unless they are all that is left.
void keepAllowedMoves(const SearchLimits& limits, MoveList& list);

// A root search window.
struct Window {
  int alpha;
  int beta;
};

// The aspiration window of an iteration: the last score give or take the aspiration margin,
// within the mate bounds of the depth. It never closes: a score beyond a bound (a mate found
// only at a deeper iteration than its length) leaves it one point wide at that bound.
Window aspirationWindow(int bestScore, int lowerMate, int upperMate);

// Own nodes of the master between two clock readings: about a millisecond of search.
inline constexpr uint64_t TimeoutInterval = 1024;

// Aligned to a cache line so that no two workers' counters or flags share one.
class alignas(64) Searcher {
 public:
  Searcher(int id, TranspositionTable* table, const MoveTimer* timer, SearchHost* host);

  // Searches the game position by iterative deepening and returns the move to play (the null
  // move for a secondary worker, in analysis, or after an abort).
  Move iterate(const Position& game);

  // The root search. line comes in holding the best line so far and leaves holding the line of
  // the best move that raised alpha; a move whose cutoff scores keepFrom or more goes into it
  // too (and is reported), since nothing will search that cutoff again.
  int searchRoot(int depth, int alpha, int beta, PVLine& line, int keepFrom = -MateScore);
  // Searches a child of the current node; returns the score from the parent's point of view.
  int searchChild(int alpha, int beta, int ply, int depth, int moveNumber, PVLine& line);
  int searchNode(int alpha, int beta, int ply, int depth, PVLine& line);
  int searchInCheck(int alpha, int beta, int ply, int depth, PVLine& line);
  int quiesce(int alpha, int beta, int ply, PVLine& line);
  MateWindow mateDistanceWindow(int alpha, int beta, int ply, bool inCheck) const;

  void resetCounters();
  // Zeros the counters alone, which the pool's figures add up: for a worker the search leaves
  // out, whose last search's counts would otherwise be counted again.
  void clearCounts();

  const int id;
  Position position;
  TranspositionTable* const table;
  const MoveTimer* const timer;                // may be null: no clock
  SearchHost* const host;                      // may be null: no time-outs and no reports
  const std::unique_ptr<EvalCache> evalCache;  // this worker's pawn and positional scores

  Counter nodes;
  Counter qsNodes;
  Counter cutoffs;
  Counter cutoffsOnFirstMove;
  Counter qsCutoffs;
  Counter qsCutoffsOnFirstMove;
  Counter ttHashHits;
  Counter tableHits;  // endgame table probes that found a result
  SearchLimits limits;
  const Tablebases* tablebases = nullptr;  // may be null: no endgame tables
  // The marks that the workers share; null for a worker that searches alone, whose tree then
  // stays the same as ever.
  BusyMoves* busyMoves = nullptr;
  // Where the workers leave their completed iterations for one another to take over;
  // null when one worker searches alone or several lines are searched.
  SharedIteration* iterations = nullptr;
  int32_t firstMovesTime = 0;
  // The deepest ply a node of this search has reached; read only by the searching thread.
  int selDepth = 0;
  std::atomic<bool> stopRequested{false};
  std::atomic<bool> discardResult{false};
  bool easyMove = false;

  // The result of the last iterate: the best line and its score.
  PVLine bestLine{};
  int bestScore = 0;
  int completedDepth = 0;

  // One of the best lines of a search with several: the line, its score and the score's bound.
  struct RootLine {
    PVLine line{};
    int score = 0;
    ScoreBound bound = ScoreBound::Exact;
  };
  // The lines of the last completed iteration of a search with several, best first.
  const RootLine* lines() const { return lines_.get(); }
  int lineCount() const { return lineCount_; }

 private:
  // Stopped, or overtaken by another worker's completed iteration.
  bool stopped() const { return overtaken_ || stopRequested.load(std::memory_order_relaxed); }
  // The master's clock test at every node; it reads the clock every TimeoutInterval nodes.
  bool timedOut();
  // The stop rules after an iteration; true when the search should end. mateSettled: the lines'
  // scores are final enough for the mate rules (always, with one line).
  bool stopRulesFire(int depth, int rootMoveCount, int upperMate, int lowerMate, const PVLine& line,
                     bool* easyFlags, bool mateSettled);
  // True when the last completed pass of several lines found every line wanted, the last a mate
  // (either way).
  bool lastLineMates(int rootMoveCount) const;
  // True when the best score is a mate within the limits' mate.
  bool mateLimitReached() const;
  // What the common start of an interior node found: a score that settles the node, or the
  // clamped window and the hash move to search with.
  struct NodeStart {
    bool settled = false;
    int score = 0;
    MateWindow window{};
    Move hashMove = NullMove;
  };
  // Counts the node and settles it when the clock, a draw, the end of the history, the
  // mate-distance clamp, a table cutoff or the endgame tables decide it.
  NodeStart startNode(int alpha, int beta, int ply, int depth, bool inCheck, PVLine& line);
  // The endgame tables' verdict on a node that a capture or pawn move reached: true, with the
  // score, when it settles the node in the window.
  bool probeTables(const MateWindow& w, int ply, int depth, int& score);
  // A node's first move found without listing all its moves: the hash move when its piece has it
  // and another legal move, or for a node with no hash move the best of at least two winning
  // captures or promotions. Either wins the first pick of the whole list, whose count it shows to
  // be more than one. With the hash move and the killers that the list's order would read.
  struct FirstMove {
    Move move;
    Move hashMove;
    KillerMoves killers;
  };
  bool findFirstMove(Move hashMove, FirstMove& first);
  // The move loop of an interior node: the scored moves best first, then the result stored. With
  // a first move, that one is searched before the list is made, scored and picked from (empty,
  // list comes in): a cutoff then spares the rest.
  int searchMoves(MoveList& list, const MateWindow& w, int ply, int depth, PVLine& line,
                  const FirstMove* first = nullptr);
  // The root's move loop, in check or not.
  int rootMoves(int depth, int alpha, int beta, PVLine& line, int keepFrom, bool inCheck);
  // One line of an iteration: the root searched in the window and, when the score falls outside
  // it, once more with that side opened to the mate bound. Returns the score and its bound.
  int searchLine(int depth, Window w, int lowerMate, int upperMate, PVLine& line,
                 ScoreBound& bound);
  // All lines of an iteration with several, in one pass over the root moves: each move is
  // searched against the score of the last line found so far, and one that beats it is placed
  // by its exact score. Sets the best line, stores the lines when the pass completes, and
  // returns how many it found (0 when stopped).
  int searchLines(int depth, int lowerMate, int upperMate, const MoveList& rootList);
  // True when the new best lines of the root are reported as they come (one line searched).
  bool reportsEachBest() const { return id == 0 && host && limits.multiPV <= 1; }
  // Tells the host why the search ends now.
  void noteStopRule(StopRule rule, int plies = 0);

  // The most pieces of a node the search probes the endgame tables at; 0 for none.
  int tableLimit_ = 0;
  int lineCount_ = 0;
  // The iteration being searched, and whether another worker has completed one at least as deep,
  // which ends this one's. Read and written by the worker's own thread alone.
  int iterationDepth_ = 0;
  bool overtaken_ = false;

  // The lines of the last completed iteration of a search with several, and those of the pass
  // being searched.
  const std::unique_ptr<RootLine[]> lines_ = std::make_unique<RootLine[]>(MaxMultiPV);
  const std::unique_ptr<RootLine[]> passLines_ = std::make_unique<RootLine[]>(MaxMultiPV);
};

}  // namespace varnu
