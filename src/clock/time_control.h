// The game's clock settings as xboard gives them, the stopwatch of the engine's own time, and the
// budget of a move.
#pragma once

#include <cstdint>
#include <string>

#include "clock/stopwatch.h"

namespace varnu {

// A clock that nobody stated.
inline constexpr int32_t NoClock = INT32_MIN;

// xboard's conventional clock: periods of movesPerSession moves (0: the whole game is one period)
// in timePerSession centiseconds each, and increment centiseconds added for every move.
struct SessionClock {
  uint32_t movesPerSession = 40;
  int32_t timePerSession = 30000;
  int32_t increment = 0;
};

// Every figure of a budget computation, for the report lines.
struct BudgetFigures {
  // True when the figures come from a session clock; false for a clock stated as the time left
  // (UCI's "go"), where only time, increment, remainingMoves and max are set.
  bool sessions;
  uint32_t movesPerSession;
  int32_t timePerSession;
  int32_t increment;
  uint32_t ply;
  uint32_t fullMoveNumber;
  uint32_t remainingMoves;
  uint32_t nSessions;
  int32_t total;
  int32_t elapsed;
  int32_t remaining;
  int32_t available;
  int32_t max;
  // The fixed time per move, 0 when the clock above sets the budget.
  int32_t moveTime;
  // The time on the engine's clock, when known; clockKnown is false otherwise.
  bool clockKnown;
  int32_t clock;
  // The margin kept back from the time per move and the clock (the move overhead).
  int32_t margin;
  // The budget really used: max (or moveTime less the margin) capped by the clock less the margin.
  int32_t maxTime;
};

// The figures of the move at this ply (moves in the game record) under a session clock, with
// elapsed centiseconds used so far. The clock is reckoned from them too, before this move's
// increment; the time per move and the margin are left at 0 for capBudget.
BudgetFigures sessionBudget(const SessionClock& clock, int ply, int32_t elapsed);

// The figures of a move for a clock stated as the time left now: the time is spread over the
// moves to go (32 when none are given) with their increments.
BudgetFigures clockBudget(int32_t time, int32_t increment, int movesToGo);

// Sets maxTime: max, or a fixed time per move when one is set, less the margin, and never more
// than the clock less the margin. clock is NoClock to take the clock the figures reckon, which a
// fixed time per move does not heed.
void capBudget(BudgetFigures& b, int32_t moveTime, int32_t margin, int32_t clock);

// The clock of an xboard game: the settings of "level", "st" and "time", and the stopwatch of
// the engine's own thinking time. The stopwatch is atomic, since the search thread runs it; the
// settings are set and read by the front end alone.
struct TimeControl {
  Stopwatch stopwatch;
  SessionClock sessions;
  // The fixed time per move set by "st"; 0 while the session clock governs.
  int32_t moveTime = 0;
  // The last "time" report: the ply it came at (-1 for none since the last new game) and the
  // time given so far by then, the clock plus the stopwatch's reading.
  int reportPly = -1;
  int32_t reportedGiven = 0;

  // The engine's clock for the move at this ply as the last "time" report gives it, or NoClock
  // when no report belongs to that move. A report comes at its move's ply, or one ply earlier when
  // it arrives before the opponent's move is recorded.
  int32_t reportedClock(int ply) const;
  // The "time" command: the engine has this much left, so the watch reads the time used.
  void setRemaining(int32_t remaining, int ply);
  // The "st" command: a fixed time per move, in centiseconds, until the next "level" or new game.
  void setMoveTime(int32_t centiseconds) { moveTime = centiseconds; }
  // The "level" command: the session clock, which also ends a fixed time per move.
  void setSessions(uint32_t moves, int32_t time, int32_t increment);
  // The settings of a new game: 40 moves in 5 minutes, no increment; the watch stopped at zero.
  void resetForNewGame();
};

}  // namespace varnu
