// What both front ends drive: the search pool with its table and pondering, the opening book,
// the endgame tables, the clock of the engine's own thinking time and the settings. One is made
// for the run and handed to the front end that the GUI speaks to.
#pragma once

#include "board/output.h"
#include "book/opening_book.h"
#include "clock/stopwatch.h"
#include "clock/time_control.h"
#include "search/search_pool.h"
#include "session/options.h"
#include "tablebase/tablebases.h"

namespace varnu {

inline constexpr std::string_view EngineName = "Varnu 0.4.34";
inline constexpr std::string_view EngineAuthor = "the Varnu developers";

struct Session : NoteSink {
  explicit Session(Output& output)
      : out(output),
        book(Options::row(Setting::BookFile).defaultText),
        pool(*this, clock.stopwatch, &book, &tablebases,
             uint32_t(Options::row(Setting::Hash).defaultValue)),
        options(*this) {
    newGameSeed();
  }

  // The notes go to the front end in charge.
  void onNote(const Note& note) override {
    if (frontEnd) frontEnd->onNote(note);
  }
  NoteSink* frontEnd = nullptr;

  Output& out;
  // The xboard game's clock settings and the stopwatch of the engine's own time, on which every
  // search is timed.
  TimeControl clock;
  OpeningBook book;
  Tablebases tablebases;
  SearchPool pool;
  Options options;
  // The seed of a playing level's choices in the current game: the Level Seed setting when it
  // is given, so that a game can be played again move for move; else each new game draws
  // another from the clock.
  uint64_t gameSeed = 0;
  void newGameSeed() {
    const int32_t fixed = options.number(Setting::LevelSeed);
    gameSeed = fixed != 0 ? uint64_t(fixed)
                          : gameSeed * 6364136223846793005ULL + uint64_t(clockStamp()) +
                                1442695040888963407ULL;
  }
};

}  // namespace varnu
