// What the engine tells besides its results: the diagnostics that xboard shows as comment lines,
// and UCI as info strings or not at all. Each is a record of its own figures; the front end that
// receives it chooses the words, or none.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "board/move.h"
#include "clock/time_control.h"
#include "tablebase/tablebases.h"

namespace varnu {

// The number of search workers from the next search on: used, as asked for (requested), as
// there are now (current), and the processors (max).
struct CoresNote {
  uint32_t used;
  uint32_t requested;
  uint32_t current;
  uint32_t max;
};

// The transposition table is being made, or emptied, at this size.
struct TableMadeNote {
  uint32_t megabytes;
};

// The table just made: its size, and how much of it the system maps in large pages (which depends
// on the machine's settings, so the front ends write it to the debug log alone, where a person
// looks for it and the protocol transcripts do not).
struct TablePagesNote {
  uint32_t megabytes;
  uint32_t largePageMegabytes;
};

// A table of this size could not be had: the old one stays, with its entries.
struct TableNotMadeNote {
  uint32_t megabytes;
  uint64_t keptEntries;
};

// The hash size set could not be had: the table stays at keptMegabytes.
struct HashRefusedNote {
  uint32_t megabytes;
  uint32_t keptMegabytes;
};

// The budget of the move a search has just started on.
struct BudgetNote {
  BudgetFigures budget;
};

// The clock has ended the search.
struct TimeoutNote {};

// Why the search ended before its clock or depth did, after the iteration that decided it.
enum class StopRule : uint8_t {
  ForcedMove,          // the only legal move
  EasyMove,            // one move far ahead of the rest, twice
  NoTimeForIteration,  // the next iteration would not fit in the time left
  ForcedDraw,          // a draw that nothing can avoid
  ForcedMate,          // a mate in plies
  GettingMated,        // mated in plies whatever is played
};

struct StopRuleNote {
  StopRule rule;
  Move move;                // the move the search will play
  int plies;                // the mate's distance
  MoveNotation notation{};  // how the game writes the move (the engine sets it)
};

// A seek or read of the opening book failed, with the system's error code.
struct BookFailureNote {
  int errorCode;
};

// The table of perft's counts is made at this size, on its first use.
struct PerftTableNote {
  uint32_t megabytes;
};

// What setting the endgame tables' folders found.
struct TablebaseScanNote {
  TablebaseScan scan;
};

// The debug log cannot be opened at this path: the log stays as it was.
struct LogRefusedNote {
  std::string path;
};

using Note = std::variant<CoresNote, TableMadeNote, TablePagesNote, TableNotMadeNote,
                          HashRefusedNote, BudgetNote, TimeoutNote, StopRuleNote, BookFailureNote,
                          PerftTableNote, TablebaseScanNote, LogRefusedNote>;

// Lambdas among which std::visit chooses by their parameter types: a front end's words for each
// kind of note.
template <class... Words>
struct Overloaded : Words... {
  using Words::operator()...;
};
template <class... Words>
Overloaded(Words...) -> Overloaded<Words...>;

// Whoever receives the notes, on whichever thread makes them.
class NoteSink {
 public:
  virtual ~NoteSink() = default;
  virtual void onNote(const Note& note) = 0;
};

}  // namespace varnu
