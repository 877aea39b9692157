// The UCI front end: the command loop for GUIs that speak UCI, made of the engine's calls; the
// engine's reports written as info lines and bestmove. main hands the run to it when the first
// command is "uci".
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/command_line.h"
#include "engine/engine.h"
#include "engine/line_reader.h"
#include "engine/output.h"

namespace varnu {

using Words = std::vector<std::string_view>;

// Cuts a line into its words, separated by runs of blanks (spaces and tabs).
Words splitWords(std::string_view line);

// True when the line is a command of UCI's that xboard does not have: a GUI that opens with one
// speaks UCI, even when it sends a "setoption" before its "uci" (as Scid does).
bool isUciCommand(std::string_view line);

// Reads the words after "go" into the limits of a search: the clocks, increments and move time
// in centiseconds (a move time of at least one), the depth (1 to 100), nodes, mate (1 to 100),
// infinite, ponder and searchmoves, whose moves are taken when parseMove finds them legal. A
// number that is missing or not a whole number leaves its limit unset; every word not
// understood is added to ignored, after a space.
SearchLimits parseGo(const Words& words, const std::function<Move(std::string_view)>& parseMove,
                     std::string& ignored);

// A "go" that sets no limit at all for the side to move (no clock, time per move, depth, nodes,
// mate, infinite or ponder) still asks for a move: KDE's Knights without a time control sends a
// bare "go" and waits for it. Such limits get the clock of xboard's default, the first move of 40
// in 5 minutes, rather than a search that waits for a "stop" that never comes.
void giveDefaultClock(SearchLimits& limits, int side);

// Lines that arrive while a search runs on the thread that reads them (a build without threads):
// the search gives way now and then, and the front end takes them from here.
class InputPoll {
 public:
  virtual ~InputPoll() = default;
  // Lets the lines come that have arrived meanwhile (waiting: the search has nothing to do until
  // one comes, so there is time to wait a little) and moves the first into line; false when none
  // has come.
  virtual bool take(std::string& line, bool waiting) = 0;
  // True once the input has ended.
  virtual bool ended() const = 0;
};

class UciFrontEnd : public EngineListener {
 public:
  // Long enough for a "position" line with every move a game can hold.
  static constexpr size_t MaxLine = 16384;

  // poll: where lines come from while a search runs on the command loop's own thread; none
  // where searches have threads of their own.
  UciFrontEnd(Engine& engine, Output& out, InputPoll* poll = nullptr);
  // Ends the engine's search, which may report to the front end until then.
  ~UciFrontEnd() override;

  // Runs the front end: applies the command line, answers "uci" at once when it has been read
  // (handshakeRead), then reads commands until "quit" or the end of input. The command line's
  // faults are told after the first answer to "uci". Returns the exit status.
  int run(LineReader& reader, const std::vector<CommandLineItem>& commandLine = {},
          bool handshakeRead = true);

  // One command line.
  void execute(std::string_view line);
  // The end of input: a search that has no end of its own is stopped, one that has is awaited;
  // either way its bestmove is sent.
  void endOfInput();
  // True while a "go" awaits its bestmove.
  bool searching() const { return engine_.resultDue(); }

  // The engine's reports (info.cpp): info lines, the bestmove, and the notes UCI has words for.
  void onThinking(const Thinking& thinking) override;
  void onStatistics(const SearchStatistics& statistics) override;
  void onBestMove(const BestMove& best) override;
  void onNote(const Note& note) override;
  // A search on the command loop's thread gives way: the lines that came meanwhile are taken.
  void onSearchPause(bool waiting) override;

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
  // table; "eval json" the same terms as one machine-readable info string) and "d" (the board
  // and its FEN).
  void perft(const Words& words);
  void eval(const Words& words);
  void display();
  // True when a developer command may run: a valid position and no search, or one that ends by
  // itself, which is awaited. A search that waits for "stop" is left alone and the command
  // refused.
  bool awaitSearchFor(std::string_view command);

  // A line that came while the search runs on this thread, taken as it would be with threads:
  // "position", "go" and "ucinewgame" wait for the end of a search that has one, and end one
  // that has not; the developer commands wait for a search that ends by itself; every other
  // command runs now, "stop" and "quit" ending the search. A line that waits is held until the
  // search is over, and so is every line after it, and "stop" or "quit" holds those after it.
  void takeDuringSearch(const std::string& line);
  // Reports a refused or misunderstood command.
  void info(const std::string& text);

  Engine& engine_;
  Output& out_;
  InputPoll* const poll_;
  bool quitRequested_ = false;
  // The command line's warnings, until "uci" has been answered.
  std::vector<std::string> warnings_;
  // The limits of the last "go", for its ponder hit.
  SearchLimits goLimits_;
  // Lines held while a search ran on this thread, and whether one of them waits for its end
  // (the lines after it wait too); the end of input has been told to the running search.
  std::deque<std::string> held_;
  bool holding_ = false;
  bool endTold_ = false;

  // The last thinking line sent, on the master's thread only.
  int lastDepth_ = 0;
  int lastScore_ = 0;
  PVLine lastLine_{};
};

}  // namespace varnu
