// What the engine reports to the front end that drives it, as data: the search's lines and
// counters, its result, the engine's own move with what follows it, and the notes. Each front end
// turns these into its protocol's text, or leaves them out.
#pragma once

#include <cstdint>

#include "board/game_end.h"
#include "board/move.h"
#include "board/position.h"
#include "search/note.h"
#include "search/search_listener.h"

namespace varnu {

// A new best line at the root, or a line of a completed iteration.
struct Thinking {
  const ThinkingReport& report;
  // The report's line, completed from the table where the front end asked for that.
  const PVLine& line;
  // How the line's moves are written in this game.
  MoveNotation notation;
  // Whether the lines are to show the odds of their scores (UCI_ShowWDL), and the ply of the
  // game at the root, two a move before the current one and one more with Black to move, on
  // which the odds depend.
  bool showOdds;
  int gamePly;
};

// The result of a search that reports its move: the move (the null move when the position has
// none, or there is no valid position) and the reply the engine expects to it (the null move when
// none is known).
struct BestMove {
  Move move;
  Move reply;
  MoveNotation notation;
};

// The engine's move, played into the game.
struct EngineMove {
  Move move;
  // The position after the move could be claimed as drawn by the side that moved (fifty moves or
  // the third repetition) before the opponent replies.
  bool offersDraw;
  // How the game stands after the move.
  GameEnd end;
  // The game's position after the move.
  const Position& position;
  MoveNotation notation;
};

// Pondering begins: the engine searches the position after this expected reply.
struct PonderStart {
  Move reply;
  MoveNotation notation;
};

// Reports come on the thread that makes them: the master search thread for the search's lines,
// its result and the notes made while it runs; the caller's thread for the notes of a call. The
// engine may hold its own locks while it reports, so a listener must not call the engine back.
class EngineListener : public NoteSink {
 public:
  virtual void onThinking(const Thinking&) {}
  virtual void onStatistics(const SearchStatistics&) {}
  virtual void onBestMove(const BestMove&) {}
  virtual void onEngineMove(const EngineMove&) {}
  virtual void onPonder(const PonderStart&) {}
  // Where the search runs on the front end's own thread (a build without threads), it gives way
  // now and then, and while it waits for a stop or a ponder hit: the front end takes the input
  // that has come meanwhile, makes the calls a running search needs (stop, ponder hit, move now)
  // and keeps the rest for after it. waiting: nothing will change until such a call comes. With
  // threads it never comes.
  virtual void onSearchPause(bool /*waiting*/) {}
  void onNote(const Note&) override {}
};

}  // namespace varnu
