// What a front end asks of one search: its limits of time, depth, nodes and mate, the root moves
// it may play, how many lines it reports and what it hands back. Each front end fills the record
// from its own commands; the search never learns which protocol asked.
#pragma once

#include <cstdint>

#include "board/move.h"
#include "board/movegen.h"
#include "clock/time_control.h"

namespace varnu {

// The most lines a search reports at once.
inline constexpr int MaxMultiPV = 256;
// The rating of full strength on the scale of UCI_Elo, and the lowest level offered; the Skill
// Level of full strength (its lowest is 0).
inline constexpr int FullStrengthElo = 2000;
inline constexpr int LowestElo = 1000;
inline constexpr int TopSkillLevel = 20;

struct SearchLimits {
  // The clocks of both sides in centiseconds (NoClock where not given) with their increments, and
  // the moves to the next time control (0: none), as UCI's "go" states them. xboard's "time"
  // report gives the engine's own clock.
  int32_t time[2] = {NoClock, NoClock};
  int32_t increment[2] = {0, 0};
  int movesToGo = 0;
  // xboard's game clock instead: the budget reckons the time given so far from the session clock
  // and the game's ply (the moves in its record), and the time used from the stopwatch.
  bool sessionClock = false;
  SessionClock sessions;
  int gamePly = 0;
  // A fixed time per move in centiseconds; 0 for none.
  int32_t moveTime = 0;
  // Kept back from every budget for the move's own output and the GUI's and the network's lag,
  // so that a move made as the budget runs out still reaches the GUI before the flag falls, in
  // centiseconds (the engine sets it from its Move Overhead setting).
  int32_t moveOverhead = 0;

  // Stop once this depth is complete; 0 for no limit.
  int depth = 0;
  // Stop once the workers have searched this many nodes; 0 for no limit.
  uint64_t nodes = 0;
  // Stop once a mate in this many moves or fewer is found; 0 for no limit.
  int mate = 0;
  // No clock: the search runs until it is stopped (an analysis, "go infinite").
  bool infinite = false;
  // Ponder: no limit of time or nodes until the ponder hit, when the clock above takes over.
  bool ponder = false;

  // Only these root moves are searched (none: all of them) ...
  MoveList searchMoves;
  // ... and never these, unless they are all there is.
  MoveList excluded;
  // The number of best root moves searched and reported at each depth, each with its own line.
  int multiPV = 1;

  // Hand the best move over when the search ends, also when no clock governs it.
  bool moveWanted = false;
  // The opening book may answer instead of the search (when a move is to be handed over).
  bool bookAllowed = true;

  // How the endgame tables are used: the search probes nodes of at most probeLimit pieces that a
  // capture or pawn move reached, at probeDepth or more; rule50 lets the fifty-move rule count,
  // so that a win it would draw scores as a draw. A search probes no table unless whoever starts
  // it sets probeLimit (the engine does from its settings).
  struct TablebaseUse {
    int probeLimit = 0;
    int probeDepth = 1;
    bool rule50 = true;
  } tablebases;

  // A playing level below full strength: its rating on the scale of UCI_Elo (FullStrengthElo or
  // more for none), and the seed of the game's random choices.
  struct Level {
    int elo = FullStrengthElo;
    uint64_t seed = 0;
    bool active() const { return elo < FullStrengthElo; }
  } level;
  // How many of the search's lines are reported (0: all it searches); a level searches more lines
  // than it shows, to choose among them.
  int linesShown = 0;

  // True when a clock governs the search of the side to move: once its ponder hit has come, for a
  // ponder search.
  bool timed(int side) const {
    return !infinite && (sessionClock || moveTime > 0 || time[side] != NoClock);
  }
};

}  // namespace varnu
