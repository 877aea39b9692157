// The xboard/CECP front end: the command loop, the protocol's handlers and the game's modes, all
// made of the engine's calls; the engine's reports written as the protocol's lines.
#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "engine/command_line.h"
#include "engine/engine.h"
#include "engine/line_reader.h"
#include "engine/output.h"
#include "xboard/command_table.h"

namespace varnu {

// The comment lines that report a move's budget, each ended by a newline: the clock's figures (or
// the time per move), and a line of the clock when it cuts the budget.
std::string budgetLines(const BudgetFigures& b);

class XboardFrontEnd : public EngineListener {
 public:
  XboardFrontEnd(Engine& engine, Output& out);
  // Ends the engine's search, which may report to the front end until then.
  ~XboardFrontEnd() override;

  // Prints the banner and "feature done=0"; the banner's first line only withTitle, since the
  // program prints it as it starts where a GUI may be waiting for it (startupLine).
  void printBanner(bool withTitle);
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
  bool searching() const { return engine_.thinking(); }

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
  bool white(const Args& args);
  bool black(const Args& args);
  // A move sent without "usermove".
  bool bareMove(const Args& args);

  // The engine's reports (thinking.cpp): thinking lines and the statistics block while "post"
  // is on, the engine's move with its board, "Hint:" as pondering begins, and the notes as
  // comment lines. They come on the master search thread, or the thread of the call.
  void onThinking(const Thinking& thinking) override;
  void onStatistics(const SearchStatistics& statistics) override;
  void onEngineMove(const EngineMove& move) override;
  void onPonder(const PonderStart& ponder) override;
  void onNote(const Note& note) override;

 private:
  // The turn of the loop after a command: game-end check, then the search if it is our move.
  void afterCommand();
  // Sets the start position, of standard chess or, after "variant fischerandom", of Chess960.
  void setStartPosition();
  void printBoardNow();
  // Prints the result line of a game that has ended; true when it has.
  bool announceGameEnd();
  // The game is over: the engine plays no side, as after "force".
  void stopPlaying();
  // The user's move, sent with "usermove" or by itself (bare): an illegal one gets the protocol's
  // error, "Error (illegal move): <move>" or, bare, "Illegal move: <move>".
  bool playUserMove(std::string_view text, bool bare);
  // "white" and "black": the colour is to move and the engine plays the other one.
  bool colourToMove(int colour);
  // "undo" and "remove": takes back moves; false when fewer were played.
  bool takeBack(int moves);
  // Ends analyze mode and puts the clock back in charge (also when "go" or "playother" come
  // without "exit" first).
  void leaveAnalysis();
  // "exclude" and "include": a move or "all" leaves the search's root moves or joins them again;
  // false, with nothing changed, for a move that is not legal.
  bool changeExclusion(std::string_view text, bool exclude);
  // "perft" and "divide" to the depth of the text; false for a depth out of range.
  bool count(std::string_view depthText, bool divide);
  // The limits of a search of the game at this ply (moves in the record) for the side to move
  // there: the clock, or none in an analysis, and the depth limit.
  SearchLimits gameLimits(int gamePly, int side) const;

  Engine& engine_;
  Output& out_;
  // The modes. The engine's move may end the game on the master's thread, which then sets the
  // first three; every other change comes with a command, while no search runs.
  std::atomic<int> engineSide_{NoColour};
  std::atomic<bool> gameOver_{false};
  std::atomic<bool> forceMode_{false};
  bool boardPrintPending_ = true;
  bool xboardMode_ = false;
  bool analyzeMode_ = false;
  bool quitRequested_ = false;
  bool uciRequested_ = false;
  // "sd": the depth at which every search stops; 0 for none.
  int depthLimit_ = 0;
  // "post" and "nopost": the thinking output, read on the master's thread.
  std::atomic<bool> postThinking_{true};
};

}  // namespace varnu
