// The engine's settings, each declared once in one table: its names in both protocols, its
// type, default and range, and what a change does. Both front ends print their option lists
// from the table, and the engine applies changes through it; whatever else needs a setting's
// default or range takes it from its row.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "book/opening_book.h"
#include "search/search_limits.h"
#include "search/search_pool.h"
#include "tablebase/tablebases.h"

namespace varnu {

class Engine;

enum class Protocol : uint8_t { Xboard, Uci };

enum class OptionType : uint8_t { Spin, Check, String, Button };

// The settings, in the order of the table.
enum class Setting : uint8_t {
  Hash,
  Threads,
  OwnBook,
  BookFile,
  MoveOverhead,
  MultiPV,
  ClearHash,
  Ponder,
  Chess960,
  DebugLogFile,
  SyzygyPath,
  SyzygyProbeDepth,
  Syzygy50MoveRule,
  SyzygyProbeLimit,
  ShowWdl,
  LimitStrength,
  Elo,
  SkillLevel,
  LevelSeed,
  Count
};

// The most characters a text setting takes (a path: the book's, the log's), unless its row says
// otherwise.
inline constexpr size_t MaxOptionText = 255;

// A max of this value stands for the number of processors.
inline constexpr int32_t ProcessorCount = -1;

// A value read for a setting: the number of a spin or check option (a check's 1 is true), or the
// text of a string option.
struct OptionValue {
  int32_t number = 0;
  std::string text;
};

struct OptionRow {
  Setting setting;
  // The names in each protocol; empty where the protocol has none (it may have a command of its
  // own for the setting: the note says so).
  std::string_view uciName;
  std::string_view xboardName;
  OptionType type;
  // Spin: the default and the range; check: the default, 0 or 1; string: max is the most
  // characters, 0 for MaxOptionText.
  int32_t defaultValue;
  int32_t min;
  int32_t max;
  // String: the default.
  std::string_view defaultText;
  // The type word of xboard's "feature option" line ("-spin", "-path", "-file").
  std::string_view xboardType;
  // Where xboard's range differs from UCI's, its top (0: the same range).
  int32_t xboardMax;
  // Over xboard the value is read as every numeric argument of its commands is (its leading
  // digits, the rest ignored), as this option has always been read; otherwise strictly.
  bool lenientOverXboard;
  // A change restarts a running xboard analysis, which shows its effect at once.
  bool restartsAnalysis;
  // What a change does beyond storing the value: false when it was refused (memory that cannot
  // be had, a file that cannot be opened), and the value then stays as it was. Null for nothing.
  bool (*apply)(Engine& engine, const OptionValue& value);
  // Over xboard, a refusal is an error of the command; otherwise the command succeeds and the old
  // value stays, as xboard's table size always has.
  bool refusalIsError;
  // Why xboard's range differs, or how xboard sets it without an option of its own.
  std::string_view note;
};

class Options {
 public:
  enum class Result { Done, BadValue, Refused };

  // The values start at their defaults; those that their owners hold (the table size, the
  // threads, the book's and the tables' paths) are read from them.
  Options(const SearchPool& pool, const OpeningBook& book, const Tablebases& tablebases);

  // The table, in order.
  static std::span<const OptionRow> rows();
  static const OptionRow& row(Setting setting);
  // The row of a UCI name, whatever its case, or of an exact xboard name; null for none.
  static const OptionRow* findUci(std::string_view name);
  static const OptionRow* findXboard(std::string_view name);

  // The top of a spin option's range in a protocol (its bottom is min in both).
  int32_t maximum(const OptionRow& row, Protocol protocol) const;

  // Reads a value as a protocol sends it; false when it does not fit the setting. Spin: a whole
  // number in the protocol's range (xboard's lenient options: its leading digits); check: "true"
  // or "false" in any case; string: the text, at most its row's characters, "<empty>" being
  // UCI's word for none; button: any value, or none. Over xboard a check is also 1 or 0.
  bool read(Setting setting, std::string_view text, Protocol protocol, OptionValue& value) const;
  // Keeps a value that has been applied.
  void store(Setting setting, const OptionValue& value);

  // The current values. Hash, Threads and BookFile are read from what holds them, which may
  // refuse or cap a value.
  int32_t number(Setting setting) const;
  bool flag(Setting setting) const { return number(setting) != 0; }
  std::string text(Setting setting) const;
  // The current value as a protocol's option list shows it.
  std::string valueText(const OptionRow& row) const;
  // The move overhead in centiseconds, rounded up.
  int32_t moveOverhead() const { return (number(Setting::MoveOverhead) + 9) / 10; }

 private:
  const SearchPool& pool_;
  const OpeningBook& book_;
  const Tablebases& tablebases_;
  int32_t numbers_[size_t(Setting::Count)];
  std::string texts_[size_t(Setting::Count)];
};

}  // namespace varnu
