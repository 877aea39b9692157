// The UCI front end: the command loop for GUIs that speak UCI, driving the same search pool as
// the xboard front end. The engine switches to it when the first command it reads is "uci".
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "board/line_reader.h"
#include "board/move.h"
#include "board/output.h"
#include "board/perft.h"
#include "board/position.h"
#include "clock/time_control.h"
#include "search/search_pool.h"
#include "search/searcher.h"

namespace varnu {

using Words = std::vector<std::string_view>;

// Cuts a line into its words, separated by runs of blanks (spaces and tabs).
Words splitWords(std::string_view line);

// The arguments of one "go" command. Times are milliseconds; -1 means not given.
struct GoCommand {
  int32_t time[2] = {-1, -1};     // wtime, btime
  int32_t increment[2] = {0, 0};  // winc, binc
  int32_t movesToGo = 0;
  int32_t moveTime = -1;
  int32_t depth = 0;
  int32_t nodes = 0;
  int32_t mate = 0;
  bool infinite = false;
  bool ponder = false;
  MoveList searchMoves;
  // The words that were not understood, for one "info string" line.
  std::string ignored;
};

// Reads the words after "go". Moves after "searchmoves" are taken when they are legal in the
// position; anything not understood is listed in ignored and leaves the rest intact.
GoCommand parseGo(const Words& words, Position& pos,
                  CastlingNotation castling = CastlingNotation::KingTarget);

class UciEngine : public SearchListener {
 public:
  // Long enough for a "position" line with every move a game can hold.
  static constexpr size_t MaxLine = 16384;
  // Moves a position may have after its FEN: the position's history keeps room for the search.
  static constexpr int MaxGameMoves = MaxHistory - 2;
  // The largest "Hash" value, in megabytes.
  static constexpr int32_t MaxHashMegabytes = 65536;

  UciEngine(Output& out, SearchPool& pool, TimeControl& timeControl, OpeningBook& book,
            std::string_view name);
  // A running search ends first, so that it never reports to a front end that is gone.
  ~UciEngine() override;

  // Runs the front end after the "uci" line that switched to it: ends the xboard prompt's line,
  // turns comment lines off, answers "uci", then reads commands until "quit" or the end of
  // input. Returns the exit status.
  int run(LineReader& reader);

  // One command line.
  void execute(std::string_view line);
  // The end of input: a search that has no end of its own is stopped, one that has is awaited;
  // either way its bestmove is sent.
  void endOfInput();
  // True while a "go" awaits its bestmove.
  bool searching();
  bool quitRequested() const { return quitRequested_; }

  // The search's reports, on the master's thread.
  void onSearchDone(Move move) override;
  void onThinking(const ThinkingReport& report) override;
  void onStatistics(const SearchStatistics& statistics) override;
  // Tells the user of a "Hash" size that could not be had.
  void onTableRefused(uint32_t megabytes) override;

 private:
  // The handlers; words[0] is the command.
  void uci();
  void setoption(std::string_view line, const Words& words);
  void ucinewgame();
  void position(const Words& words);
  void go(const Words& words);
  void stop();
  void ponderhit();
  void quit();
  // The developer commands: "go perft <depth>" (the divide report), "eval" (the evaluation
  // table) and "d" (the board and its FEN).
  void perft(const Words& words);
  void eval();
  void display();
  // True when a developer command may run: no search, or one that ends by itself, which is
  // awaited. A search that waits for "stop" is left alone and the command refused.
  bool awaitSearchFor(std::string_view command);

  // Sets the option; false (with nothing changed) when the value does not fit it.
  bool setOptionValue(std::string_view name, std::string_view value, bool hasValue);
  // Lets a running search end with its bestmove before a command that needs the workers idle:
  // a search that ends by itself is awaited, one that waits for "stop" is stopped.
  void finishSearch();
  // Sends the search's result: "bestmove <move>", with "ponder <reply>" when a reply is known,
  // or "bestmove 0000" without a move. Needs mutex_.
  void sendBestMove(Move move, Move reply);
  // The castling notation of UCI_Chess960's setting.
  CastlingNotation castlingNotation() const {
    return chess960_ ? CastlingNotation::KingTakesRook : CastlingNotation::KingTarget;
  }
  // Reports a refused or misunderstood command.
  void info(const std::string& text);

  Output& out_;
  SearchPool& pool_;
  TimeControl& timeControl_;
  OpeningBook& book_;
  const std::string name_;
  bool bookUse_ = true;                               // OwnBook
  int32_t moveOverhead_ = TimeControl::SafetyMargin;  // Move Overhead, in centiseconds
  SearchLimits limits_;  // those of the last "go", for its ponder hit
  Position game_;
  int fullmoveNumber_ = 1;  // the game position's move number, for its FEN
  int multiPV_ = 1;         // the MultiPV option: best lines searched and reported
  std::unique_ptr<PerftHashTable> perftTable_;
  bool quitRequested_ = false;
  // UCI_Chess960: castling is written and read as the king taking its own rook, and the FEN's
  // castling rights may name any rook.
  bool chess960_ = false;
  // The text of the game's moves, set by "go" (read on the master's thread while the search
  // runs, and changed only when none does).
  MoveNotation notation_;

  // The bestmove handshake, shared by the command thread and the master's thread.
  std::mutex mutex_;
  bool goPending_ = false;    // a "go" has not had its bestmove yet
  bool infinite_ = false;     // "go infinite": the bestmove waits for "stop"
  bool pondering_ = false;    // "go ponder": the bestmove waits for "ponderhit" or "stop"
  bool resultReady_ = false;  // the search has ended and its result waits to be sent
  Move result_ = NullMove;
  Move reply_ = NullMove;  // the reply expected to result_
  bool bounded_ = false;  // the search ends by itself: a clock, a depth or a node limit

  // The last thinking line sent, on the master's thread only.
  int lastDepth_ = 0;
  int lastScore_ = 0;
  PVLine lastLine_{};
};

}  // namespace varnu
