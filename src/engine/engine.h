// The xboard/CECP front end: the command loop, the protocol handlers and the game's modes.
#pragma once

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "board/line_reader.h"
#include "board/move.h"
#include "board/output.h"
#include "board/perft.h"
#include "engine/command_table.h"
#include "engine/game.h"
#include "session/command_line.h"
#include "session/session.h"

namespace varnu {

class Engine : public SearchListener, public NoteSink {
 public:
  explicit Engine(Session& session);
  ~Engine() override;

  // Prints the banner and "feature done=0".
  void printBanner();
  // Applies the command line: the cores it asks for, and a warning for anything else.
  void applyCommandLine(const std::vector<CommandLineItem>& items);
  // Sets up the search and the start position and runs the command loop until "quit" or the
  // end of input. Returns the exit status. When the first command is "uci", the loop ends
  // there and uciRequested() tells that the UCI front end takes over.
  int run(LineReader& reader);
  bool uciRequested() const { return uciRequested_; }

  // The parts of the loop: the set-up before the first command, one command line with the
  // turn that follows it (game-end check, starting the search), and the end of input.
  void startUp();
  void execute(std::string_view line);
  void endOfInput();
  bool searching() const { return pool_.anyBusy(); }

  // Looks the line up in the command table and runs its handler; false when the command failed
  // (its error line, if any, is printed).
  bool dispatch(std::string_view line);

  // The handlers, in command-table order.
  bool quit(const Args& args);
  bool xboard(const Args& args);
  bool protover(const Args& args);
  bool newGame(const Args& args);
  bool force(const Args& args);
  bool ping(const Args& args);
  bool usermove(const Args& args);
  bool go(const Args& args);
  bool playother(const Args& args);
  bool setboard(const Args& args);
  bool variant(const Args& args);
  bool level(const Args& args);
  bool sd(const Args& args);
  bool time(const Args& args);
  bool st(const Args& args);
  bool moveNow(const Args& args);
  bool undo(const Args& args);
  bool remove(const Args& args);
  bool analyze(const Args& args);
  bool exit(const Args& args);
  bool post(const Args& args);
  bool nopost(const Args& args);
  bool cores(const Args& args);
  bool memory(const Args& args);
  bool egtpath(const Args& args);
  bool option(const Args& args);
  bool book(const Args& args);
  bool nobook(const Args& args);
  bool perft(const Args& args);
  bool divide(const Args& args);
  bool selftest(const Args& args);
  bool eval(const Args& args);
  bool hard(const Args& args);
  bool easy(const Args& args);
  bool hint(const Args& args);
  bool exclude(const Args& args);
  bool include(const Args& args);

  // Plays and announces the move the search chose (on the master search thread).
  void onSearchDone(Move move) override;
  // Thinking lines and the statistics block (on the master search thread).
  void onThinking(const ThinkingReport& report) override;
  void onStatistics(const SearchStatistics& statistics) override;
  // The notes as comment lines (on the thread that makes them).
  void onNote(const Note& note) override;

 private:
  // The turn of the loop after a command: game-end check, then the search if it is our move.
  void afterCommand();
  void setStartPosition();
  // Takes the notation of moves from the game: its castling rooks, and "O-O" in Chess960.
  void updateNotation();
  // True when the move reaches a position the engine may claim as drawn (fifty moves or the
  // third repetition); the game position is left as it was.
  bool drawOfferCheck(Move m);
  void printBoardNow();
  // "perft" and "divide" to the depth of the text; false for a depth out of range.
  bool count(std::string_view depthText, bool divide);
  // Makes the perft table on its first use, for a count or the self-test.
  PerftHashTable& perftTable();
  // Prints the result line of a game that has ended; true when it has.
  bool announceGameEnd();
  // "undo" and "remove": takes back moves; false when fewer were played.
  bool takeBack(int moves);
  // Ends analyze mode and puts the clock back in charge (also when "go" or "playother" come
  // without "exit" first).
  void leaveAnalysis();
  // "exclude" and "include": a move or "all" leaves the search's root moves or joins them again;
  // false, with nothing changed, for a move that is not legal.
  bool changeExclusion(std::string_view text, bool exclude);
  // True when the exclusions leave no move to analyse.
  bool allExcluded();
  // The limits of a search of the game at this ply (moves in the record) for the side to move
  // there: the clock, the depth limit, the lines, the exclusions, the book outside Chess960 and
  // the moves' notation.
  SearchLimits gameLimits(int gamePly, int side) const;
  // The game record keeps room for the engine's reply after every user move.
  bool recordFull() const { return game_.count >= GameRecord::Capacity - 1; }
  // After the engine's move (under the game lock, on the master's thread): notes the reply it
  // expects and, when pondering is on and the game goes on, starts pondering on it.
  void expectReply();
  // True when the user move of a "usermove" line is the reply that the running ponder search
  // assumes.
  bool isPonderHit(std::string_view text);

  Output& out_;
  TimeControl& clock_;
  SearchPool& pool_;
  Options& options_;
  const Tablebases& tablebases_;
  Session& session_;
  GameRecord game_;
  // Guards the game and the mode fields: the master search thread plays its move into them
  // while the command thread may run a command that does not stop the search.
  std::mutex gameMutex_;
  std::unique_ptr<PerftHashTable> perftTable_;
  int engineSide_ = NoColour;
  bool gameOver_ = false;
  bool forceMode_ = false;
  bool boardPrintPending_ = true;
  bool xboardMode_ = false;
  bool analyzeMode_ = false;
  bool quitRequested_ = false;
  bool uciRequested_ = false;
  // False after a position was refused: no search runs and no command plays on the position
  // before it until a new one is set.
  bool positionValid_ = true;
  // "sd": the depth at which every search stops; 0 for none.
  int depthLimit_ = 0;
  // "post" and "nopost": the thinking output, read on the master's thread.
  std::atomic<bool> postThinking_{true};
  // The reply expected to the engine's last move, for "hint" while the game stands there, and
  // the one the ponder search assumes.
  Move expectedReply_ = NullMove;
  uint64_t expectedAtKey_ = 0;
  Move ponderMove_ = NullMove;
  // "variant fischerandom" until the next "new"; the moves' text follows it.
  bool chess960_ = false;
  MoveNotation notation_;
};

}  // namespace varnu
