// The UCI front end: the command loop for GUIs that speak UCI, driving the session's search
// pool. main hands the run to it when the first command is "uci".
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "board/line_reader.h"
#include "board/move.h"
#include "board/perft.h"
#include "board/position.h"
#include "session/command_line.h"
#include "session/session.h"

namespace varnu {

using Words = std::vector<std::string_view>;

// Cuts a line into its words, separated by runs of blanks (spaces and tabs).
Words splitWords(std::string_view line);

// Reads the words after "go" into the limits of a search of the position: the clocks,
// increments and move time in centiseconds (a move time of at least one), the depth (1 to 100),
// nodes, mate (1 to 100), infinite, ponder and searchmoves, whose moves are taken when they are
// legal in the position. A number that is missing or not a whole number leaves its limit unset;
// every word not understood is added to ignored, after a space.
SearchLimits parseGo(const Words& words, Position& pos, CastlingNotation castling,
                     std::string& ignored);

// The line completed from the table: after its own moves, the table's move in each position
// reached, while that move is legal there, the line has room and no position comes again.
PVLine completeLine(const Position& root, const PVLine& line, const TranspositionTable& table);

class UciEngine : public SearchListener, public NoteSink {
 public:
  // Long enough for a "position" line with every move a game can hold.
  static constexpr size_t MaxLine = 16384;
  // Moves a position may have after its FEN: the position's history keeps room for the search.
  static constexpr int MaxGameMoves = MaxHistory - 2;

  explicit UciEngine(Session& session);
  // A running search ends first, so that it never reports to a front end that is gone.
  ~UciEngine() override;

  // Runs the front end once the first command, "uci", has been read: applies the command line,
  // answers "uci" (and warns of the command line's faults), then reads commands until "quit" or
  // the end of input. Returns the exit status.
  int run(LineReader& reader, const std::vector<CommandLineItem>& commandLine = {});

  // One command line.
  void execute(std::string_view line);
  // The end of input: a search that has no end of its own is stopped, one that has is awaited;
  // either way its bestmove is sent.
  void endOfInput();
  // True while a "go" awaits its bestmove.
  bool searching();

  // Without worker threads the search runs on the command loop's thread, and its input poll
  // hands over the commands that come meanwhile, in order. A command the search needs at once
  // ("stop", "ponderhit", "isready", "quit") runs now when inTurn (no command is held before it),
  // and the result is true. Any other is held until the search is over (false), and ends the
  // search first as it would with threads: "stop" and "quit" end any search; "position", "go"
  // and "ucinewgame" one that has no end of its own, and they wait for the end of one that has.
  bool executeWhileSearching(std::string_view line, bool inTurn);
  // Stops a search that has no end of its own, running on the command loop's thread: the end of
  // input came, or a command that stops such a search before it runs.
  void endUnboundedSearch();

  // The search's reports, on the master's thread.
  void onSearchDone(Move move) override;
  void onThinking(const ThinkingReport& report) override;
  void onStatistics(const SearchStatistics& statistics) override;
  // Tells the user of a "Hash" size that could not be had.
  void onTableRefused(uint32_t megabytes) override;
  // The notes that UCI has words for, as info strings.
  void onNote(const Note& note) override;

 private:
  // The handlers; words[0] is the command.
  void uci();
  void isready();
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
  // True when a developer command may run: a valid position and no search, or one that ends by
  // itself, which is awaited. A search that waits for "stop" is left alone and the command
  // refused.
  bool awaitSearchFor(std::string_view command);

  // Makes the table at the size the GUI set, once, before the first search needs it.
  void ensureTable();
  // True when the search of the pending "go" waits for "stop" (or "ponderhit"): it has no clock,
  // depth or node limit, it ponders, or its result waits. Needs mutex_.
  bool waitsForStop() const;
  // Lets a running search end with its bestmove before a command that needs the workers idle:
  // a search that ends by itself is awaited, one that waits for "stop" is stopped.
  void finishSearch();
  // Sends the search's result: "bestmove <move>", with "ponder <reply>" when a reply is known,
  // or "bestmove 0000" without a move. Needs mutex_.
  void sendBestMove(Move move, Move reply);
  // The castling notation of UCI_Chess960's setting.
  CastlingNotation castlingNotation() const;
  // Reports a refused or misunderstood command.
  void info(const std::string& text);

  Session& session_;
  Output& out_;
  SearchPool& pool_;
  Options& options_;
  // " wdl <win> <draw> <loss>" for a score while UCI_ShowWDL is on; nothing otherwise.
  std::string oddsText(int score) const;
  Position game_;
  // False after a position was refused: until the next one, "go" is answered with "bestmove
  // 0000" and the developer commands are refused, rather than using the position before.
  bool positionValid_ = true;
  int fullmoveNumber_ = 1;  // the game position's move number, for its FEN
  std::unique_ptr<PerftHashTable> perftTable_;
  bool quitRequested_ = false;
  // The text of the game's moves, set by "go" (read on the master's thread while the search
  // runs, and changed only when none does).
  MoveNotation notation_;

  // The bestmove handshake, shared by the command thread and the master's thread.
  std::mutex mutex_;
  bool goPending_ = false;    // a "go" has not had its bestmove yet
  bool resultReady_ = false;  // an infinite search has ended and its result waits for "stop"
  bool stopCame_ = false;     // a "stop" came: the result goes out as soon as it is found
  Move result_ = NullMove;
  Move reply_ = NullMove;  // the reply expected to result_
  SearchLimits limits_;    // those of the pending "go"

  // Without threads: a command that waits for the search's end (a "stop", a "position") has
  // come while it runs, and the commands after it wait too.
  bool awaitingSearchEnd_ = false;

  // The last thinking line sent, on the master's thread only.
  int lastDepth_ = 0;
  int lastScore_ = 0;
  PVLine lastLine_{};
};

}  // namespace varnu
