// The engine itself: the game, the search with its pondering and transposition table, the
// opening book, the endgame tables, the clock and the settings, behind the calls that every front
// end makes. A front end turns its protocol's text into these calls and the reports it receives
// (engine_listener.h) into text; the engine knows of a protocol no more than the names its
// settings have in each.
//
// Every call comes from the front end's one thread. A search runs beside it on the pool's
// threads (or, in a build without threads, within the call that starts it), reporting as it
// goes; the calls that end or wait for a search return when the search has done what they ask.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "board/game_end.h"
#include "board/move.h"
#include "board/perft.h"
#include "board/position.h"
#include "book/opening_book.h"
#include "clock/time_control.h"
#include "engine/command_line.h"
#include "engine/engine_listener.h"
#include "engine/game.h"
#include "engine/options.h"
#include "engine/output.h"
#include "eval/evaluate.h"
#include "search/search_limits.h"
#include "search/search_pool.h"
#include "tablebase/tablebases.h"

namespace varnu {

inline constexpr std::string_view EngineName = "Varnu 0.4.34";
inline constexpr std::string_view EngineAuthor = "the Varnu developers";

// The line the program prints as it starts, before it knows which protocol its GUI speaks (some
// GUIs wait for the engine to say something first): the first line of the xboard banner, which
// UCI GUIs pass over as they pass over any line they do not know.
inline std::string startupLine() { return "# " + std::string(EngineName); }

// What a search is for: an analysis, which has no result; a move reported as the result, the
// game staying as it is; or the engine's move, played into the game (and pondered on, when the
// Ponder setting is on and the game goes on).
enum class SearchGoal : uint8_t { Analyse, ReportMove, PlayMove };

// How the game's position stands for a search: none is set, it has moves, or none (mate or
// stalemate).
enum class RootState : uint8_t { NoPosition, HasMoves, Checkmated, Stalemated };

// Why a position was refused: its FEN text, one of its moves (not legal there), or too many moves.
struct PositionResult {
  enum class Kind : uint8_t { Done, BadFen, IllegalMove, TooManyMoves } kind = Kind::Done;
  size_t move = 0;  // the move refused
};

// What became of a move played for the user.
enum class MoveResult : uint8_t { Done, Illegal, RecordFull };

// What became of an exclusion: a move named that is not legal, a set unchanged, or a change.
enum class ExclusionResult : uint8_t { Illegal, Unchanged, Changed };

// How a front end writes moves and wants its lines: the castling notation of Chess960 games
// (standard chess writes the king's move to its target square), and whether thinking lines are
// completed from the table where the search's own line ends.
struct FrontEndStyle {
  CastlingNotation chess960Castling = CastlingNotation::KingTakesRook;
  bool completeLines = false;
};

class Engine : private SearchListener {
 public:
  // The debug log is opened on the output, whose lines the front ends write. Threads are used
  // where the build can start them.
  explicit Engine(Output& output, WorkerMode mode = defaultWorkerMode());
  ~Engine() override;

  // The front end that receives the reports from now on, and how it writes moves. Only while no
  // search runs; detach ends any search first.
  void attach(EngineListener& listener, const FrontEndStyle& style);
  void detach(EngineListener& listener);

  // ----- The game
  // Ends any search and starts a new game from the start position: a new seed for the playing
  // level's choices, the table emptied (where one is made), the workers made anew, the clock as
  // a new game has it.
  void newGame();
  // Sets the game to the position of the FEN text (in Chess960 notation while that setting is
  // on) with the moves played from it. A refused position leaves the game without one, rather
  // than the one before, until the next is set; nothing is searched or played on it.
  PositionResult setPosition(std::string_view fen, std::span<const std::string_view> moves = {});
  // A position the front end could not read: the game has none until the next is set.
  void refusePosition();
  bool positionValid() const;
  // Plays a legal move named in the front end's notation, for the side to move, and records it:
  // only while no search reads the game (no search runs, or a ponder search, which searches a
  // position of its own).
  MoveResult makeMove(std::string_view text);
  // Takes back the last moves; false, with nothing changed, when fewer were played. Only while no
  // search runs.
  bool takeBack(int moves);
  // Gives the move to the colour, where the other is to move: the same position with that side to
  // move replaces the game, its moves forgotten. False, with nothing changed, when that position
  // is not legal (the side that would not move is in check). Only while no search runs.
  bool turnTo(int colour);
  // The legal move of the game's position named by the text, or the null move.
  Move parseMove(std::string_view text) const;
  // Root moves the search leaves out ("all" for every move, or one move), or lets in again.
  ExclusionResult exclude(std::string_view text, bool excluded);
  // True when the exclusions leave no move to search.
  bool allExcluded() const;
  // How the game stands in its position (only while no search reads it: the position keeps the
  // count of its repetitions).
  GameEnd gameEnd();
  int sideToMove() const;
  // The moves played since the position was set.
  int movesPlayed() const;
  // The engine's reply expected to its last move, while the game stands where it was expected;
  // the null move otherwise.
  Move hint() const;
  // How the game's moves are written.
  MoveNotation notation() const;
  // The board, each rank after the prefix, and the position's FEN.
  std::string boardText(std::string_view prefix) const;
  std::string fen() const;

  // ----- Searching
  // Starts a search of the game's position under the limits, which the settings complete: the
  // move overhead, the lines, the endgame tables' use, the playing level, the book, and the
  // exclusions. False, with nothing started, without a valid position. A root without a legal
  // move has the null move for its result, at once or, for an infinite or ponder search, when
  // that ends.
  bool go(const SearchLimits& limits, SearchGoal goal);
  RootState rootState() const;
  // Ends the search with no move played or reported, and any pondering; returns when it is over.
  void stop();
  // Ends the search as its clock would: its move is reported or played when the call returns
  // (but for a ponder search after the engine's move, which has no move before its hit and runs
  // on). Without threads the search ends below the call, which returns at once.
  void moveNow();
  // The reply pondered on was played: the search goes on under these limits (completed as go's
  // are), the time pondered a bonus.
  void ponderHit(const SearchLimits& limits);
  // Another reply was played, or pondering is off: a ponder search ends with no move played.
  void stopPondering();
  // True when the text names the reply that the running ponder search assumes.
  bool isPonderReply(std::string_view text) const;
  // Waits until every worker is idle; waitForMove only until the engine's move is out (a ponder
  // search may follow it).
  void waitIdle();
  void waitForMove();
  // Ends what a search must end before the game may change: one that waits for a stop is ended
  // as moveNow does, one with an end of its own is awaited; a move still owed is reported as the
  // null move.
  void finish();
  // A search runs; a ponder search runs before its hit; a search owes its reported move; the
  // running search waits for a stop (infinite, pondering, or with no limit of time, depth or
  // nodes).
  bool thinking() const;
  bool pondering() const;
  bool resultDue() const;
  bool waitsForStop() const;

  // ----- Settings
  // The table, its values and their parsing.
  const Options& options() const { return options_; }
  // Reads and applies a setting as a protocol sends it. A change that cannot be made (memory that
  // cannot be had, a file that cannot be opened) is told in a note, and the setting stays.
  Options::Result setOption(Setting setting, std::string_view text, Protocol protocol);
  // Applies a value read already; false when the change was refused.
  bool applyOption(Setting setting, const OptionValue& value);
  // Search threads from the next search on: at most the processors (noted).
  void setCores(int32_t cores);
  // Applies the command line's cores; returns its warnings, for the front end to show.
  std::vector<std::string> applyCommandLine(const std::vector<CommandLineItem>& items);
  // Makes the table at the size set, and the workers (while no search runs), where they are not.
  void prepare();
  // The clock settings of an xboard game and the stopwatch of the engine's own time.
  TimeControl& clock() { return clock_; }

  // ----- Developer commands
  // Counts the leaves of the game's position to the depth (1 to maxPerftDepth()): divide tells
  // each root move's count in its notation first (Chess960 castling as the king takes its rook).
  // Only while no search runs.
  using DivideLine = std::function<void(const std::string& move, uint64_t leaves)>;
  PerftTotals perft(int depth, const DivideLine* divide);
  int maxPerftDepth() const;
  // Runs the self-test positions, telling each result; the game's position is left at the last.
  SelfTestTotals selfTest(const std::function<void(const SelfTestResult&)>& eachCase);
  // The evaluation table of the game's position.
  std::string evalTable() const;
  // The game position's evaluation term by term: fills the cleared breakdown and returns the
  // total from White's view; mating tells whether the pawnless mating knowledge gave it alone,
  // and then each of its terms stands in the column of the side whose total it joins.
  int evalBreakdown(EvalBreakdown& breakdown, bool& mating) const;

 private:
  // The option table's effects, which reach into the parts a setting changes.
  friend struct OptionEffects;

  // SearchListener: what the pool reports, on the master's thread.
  void onSearchDone(Move move) override;
  void onThinking(const ThinkingReport& report) override;
  void onStatistics(const SearchStatistics& statistics) override;
  void onSearchPause(bool waiting) override { listener_->onSearchPause(waiting); }
  // Notes go on to the front end, a stop rule's with the notation of the search's moves.
  void onNote(const Note& note) override;

  // A new seed for a game's level choices: the Level Seed setting when it is given, else one
  // drawn from the clock.
  void newGameSeed();
  // Completes a search's limits from the settings.
  void completeLimits(SearchLimits& limits, bool withExclusions) const;
  // The castling notation of the game, its notation of moves, and the move number of its
  // position. Need gameMutex_.
  CastlingNotation castlingNotation() const;
  MoveNotation gameNotation() const;
  int moveNumber() const;
  // True when the game record keeps no room for a reply. Needs gameMutex_.
  bool recordFull() const { return game_.count >= GameRecord::Capacity - 1; }
  // The engine's move into the game, with what follows it (master's thread).
  void playEngineMove(Move move);
  // True when the move reaches a position the side that moves could claim as drawn (fifty moves
  // or the third repetition); the game is left as it was. Needs gameMutex_.
  bool offersDraw(Move move);
  // After the engine's move, while the game goes on and the Ponder setting is on: pondering on
  // the reply expected. Needs gameMutex_.
  void ponderOn(Move reply);
  // Makes the table where none is made, noting a size refused.
  void prepareTable();
  // The perft table, made (and noted) on first use.
  PerftHashTable& perftTable();

  EngineListener quiet_;
  EngineListener* listener_ = &quiet_;
  FrontEndStyle style_;
  Output& output_;
  TimeControl clock_;
  OpeningBook book_;
  Tablebases tablebases_;
  SearchPool pool_;
  // The game, which the master changes with the engine's move while the front end's thread may
  // read it; the lock also guards the settings' values and the seed, which the master reads as it
  // starts pondering.
  mutable std::mutex gameMutex_;
  Options options_;
  // The seed of a playing level's choices in the current game.
  uint64_t gameSeed_ = 0;

  GameRecord game_;
  bool positionValid_ = true;
  int setupMoveNumber_ = 1;  // the move number of the position set up, for the FEN
  // The reply expected to the engine's last move, with the key of the position it answers, and
  // the reply the ponder search assumes.
  Move expectedReply_ = NullMove;
  uint64_t expectedAtKey_ = 0;
  Move ponderReply_ = NullMove;
  std::unique_ptr<PerftHashTable> perftTable_;

  // The running search: its goal, the limits it was given and the notation of its moves (set by
  // go before the search starts, read on the master's thread), and whether a reported move is
  // still owed.
  SearchGoal goal_ = SearchGoal::Analyse;
  SearchLimits goLimits_;
  MoveNotation searchNotation_;
  bool searchShowsOdds_ = false;
  int searchGamePly_ = 0;
  std::atomic<bool> resultDue_{false};
};

}  // namespace varnu
