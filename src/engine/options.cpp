#include "engine/options.h"

#include <algorithm>

#include "board/number.h"
#include "engine/engine.h"

namespace varnu {

// What a change of a setting does in the engine, beyond keeping the value. A refusal is told in a
// note.
struct OptionEffects {
  static bool hash(Engine& e, const OptionValue& v) {
    if (e.pool_.table().setSize(uint32_t(v.number))) return true;
    e.listener_->onNote(HashRefusedNote{uint32_t(v.number), e.pool_.table().table().megabytes()});
    return false;
  }
  static bool threads(Engine& e, const OptionValue& v) {
    e.pool_.setCores(v.number);
    return true;
  }
  static bool bookFile(Engine& e, const OptionValue& v) {
    e.book_.setPath(v.text);
    return true;
  }
  static bool clearHash(Engine& e, const OptionValue&) {
    e.pool_.table().clear();
    return true;
  }
  static bool debugLog(Engine& e, const OptionValue& v) {
    if (e.output_.openLog(v.text)) return true;
    e.listener_->onNote(LogRefusedNote{v.text});
    return false;
  }
  static bool syzygyPath(Engine& e, const OptionValue& v) {
    e.listener_->onNote(TablebaseScanNote{e.tablebases_.setPath(v.text)});
    return true;
  }
  static bool levelSeed(Engine& e, const OptionValue& v) {
    std::lock_guard<std::mutex> lock(e.gameMutex_);
    if (v.number != 0) e.gameSeed_ = uint64_t(v.number);
    return true;
  }
};

namespace {

using T = OptionType;
using E = OptionEffects;
constexpr bool Lenient = true;
constexpr bool Restarts = true;
constexpr bool ErrorOverXboard = true;
constexpr int32_t MaxHash = int32_t(TranspositionTable::MaxMegabytes);

// The table. The names and ranges are those both protocols announce; a new setting is a new row,
// in the place of its Setting.
constexpr OptionRow table[] = {
    {Setting::Hash, "Hash", "ttHashSizeMB", T::Spin, 256, 1, MaxHash, "", "-spin", 2048, Lenient,
     false, E::hash, false,
     "xboard's option keeps the range it has always announced; xboard's memory command takes "
     "the whole range"},
    {Setting::Threads, "Threads", "", T::Spin, 1, 1, ProcessorCount, "", "", 0, false, false,
     E::threads, false, "xboard: the cores command and -cores, which use at most the processors"},
    {Setting::OwnBook, "OwnBook", "", T::Check, 1, 0, 1, "", "", 0, false, false, nullptr, false,
     "xboard: the book and nobook commands"},
    {Setting::BookFile, "BookFile", "bookFilePath", T::String, 0, 0, 0, "book.bin", "-path", 0,
     false, false, E::bookFile, false, ""},
    {Setting::MoveOverhead, "Move Overhead", "moveOverheadMs", T::Spin, 100, 0, 5000, "", "-spin",
     0, false, false, nullptr, false, ""},
    {Setting::MultiPV, "MultiPV", "MultiPV", T::Spin, 1, 1, MaxMultiPV, "", "-spin", 0, false,
     Restarts, nullptr, false, ""},
    {Setting::ClearHash, "Clear Hash", "", T::Button, 0, 0, 0, "", "", 0, false, false,
     E::clearHash, false, "xboard: every new game starts with an empty table"},
    {Setting::Ponder, "Ponder", "", T::Check, 0, 0, 1, "", "", 0, false, false, nullptr, false,
     "xboard: the hard and easy commands"},
    {Setting::Chess960, "UCI_Chess960", "", T::Check, 0, 0, 1, "", "", 0, false, false, nullptr,
     false, "xboard: the variant command"},
    {Setting::DebugLogFile, "Debug Log File", "debugLogFile", T::String, 0, 0, 0, "", "-file", 0,
     false, false, E::debugLog, ErrorOverXboard, ""},
    {Setting::SyzygyPath, "SyzygyPath", "", T::String, 0, 0, 16383, "", "", 0, false, Restarts,
     E::syzygyPath, false, "xboard: the egtpath syzygy command; a list of folders may be long"},
    {Setting::SyzygyProbeDepth, "SyzygyProbeDepth", "syzygyProbeDepth", T::Spin, 1, 1, 100, "",
     "-spin", 0, false, Restarts, nullptr, false, ""},
    {Setting::Syzygy50MoveRule, "Syzygy50MoveRule", "syzygy50MoveRule", T::Check, 1, 0, 1, "",
     "-check", 0, false, Restarts, nullptr, false, ""},
    {Setting::SyzygyProbeLimit, "SyzygyProbeLimit", "syzygyProbeLimit", T::Spin, 7, 0, 7, "",
     "-spin", 0, false, Restarts, nullptr, false, ""},
    {Setting::ShowWdl, "UCI_ShowWDL", "", T::Check, 0, 0, 1, "", "", 0, false, false, nullptr,
     false, "xboard: none, its thinking lines have no place for the odds"},
    {Setting::LimitStrength, "UCI_LimitStrength", "limitStrength", T::Check, 0, 0, 1, "", "-check",
     0, false, false, nullptr, false, ""},
    {Setting::Elo, "UCI_Elo", "elo", T::Spin, FullStrengthElo, LowestElo, FullStrengthElo, "",
     "-spin", 0, false, false, nullptr, false, ""},
    {Setting::SkillLevel, "Skill Level", "skillLevel", T::Spin, TopSkillLevel, 0, TopSkillLevel, "",
     "-spin", 0, false, false, nullptr, false, ""},
    {Setting::LevelSeed, "Level Seed", "levelSeed", T::Spin, 0, 0, 2147483647, "", "-spin", 0,
     false, false, E::levelSeed, false, ""},
};

// Rows are found by their place: each must stand at its Setting's.
constexpr bool rowsInOrder() {
  for (size_t i = 0; i < std::size(table); ++i)
    if (table[i].setting != Setting(i)) return false;
  return std::size(table) == size_t(Setting::Count);
}
static_assert(rowsInOrder(), "the option table's rows must follow the order of Setting");

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char x = a[i] >= 'A' && a[i] <= 'Z' ? char(a[i] - 'A' + 'a') : a[i];
    const char y = b[i] >= 'A' && b[i] <= 'Z' ? char(b[i] - 'A' + 'a') : b[i];
    if (x != y) return false;
  }
  return true;
}

}  // namespace

Options::Options(const SearchPool& pool, const OpeningBook& book, const Tablebases& tablebases)
    : pool_(pool), book_(book), tablebases_(tablebases) {
  for (const OptionRow& r : table) {
    numbers_[size_t(r.setting)] = r.defaultValue;
    texts_[size_t(r.setting)] = r.defaultText;
  }
}

std::span<const OptionRow> Options::rows() { return table; }

const OptionRow& Options::row(Setting setting) { return table[size_t(setting)]; }

const OptionRow* Options::findUci(std::string_view name) {
  for (const OptionRow& r : table)
    if (!r.uciName.empty() && equalIgnoringCase(r.uciName, name)) return &r;
  return nullptr;
}

const OptionRow* Options::findXboard(std::string_view name) {
  for (const OptionRow& r : table)
    if (!r.xboardName.empty() && r.xboardName == name) return &r;
  return nullptr;
}

int32_t Options::maximum(const OptionRow& r, Protocol protocol) const {
  if (r.max == ProcessorCount) return int32_t(pool_.maxCores());
  return protocol == Protocol::Xboard && r.xboardMax != 0 ? r.xboardMax : r.max;
}

bool Options::read(Setting setting, std::string_view text, Protocol protocol,
                   OptionValue& value) const {
  const OptionRow& r = row(setting);
  value = OptionValue{};
  switch (r.type) {
    case OptionType::Spin:
      if (protocol == Protocol::Xboard && r.lenientOverXboard) {
        value.number = parseNumber(text);
        return value.number >= r.min && value.number <= maximum(r, protocol);
      }
      return parseWholeNumber(text, r.min, maximum(r, protocol), value.number);
    case OptionType::Check:
      // xboard sends a check option's value as 1 or 0.
      if (protocol == Protocol::Xboard && (text == "1" || text == "0")) {
        value.number = text == "1";
        return true;
      }
      value.number = equalIgnoringCase(text, "true") ? 1 : 0;
      return value.number == 1 || equalIgnoringCase(text, "false");
    case OptionType::String:
      if (text.size() > (r.max > 0 ? size_t(r.max) : MaxOptionText)) return false;
      if (!(protocol == Protocol::Uci && text == "<empty>")) value.text = text;
      return true;
    case OptionType::Button:
      return true;
  }
  return false;
}

void Options::store(Setting setting, const OptionValue& value) {
  numbers_[size_t(setting)] = value.number;
  texts_[size_t(setting)] = value.text;
}

int32_t Options::number(Setting setting) const {
  switch (setting) {
    case Setting::Hash:
      return int32_t(pool_.table().size());
    case Setting::Threads:
      return int32_t(pool_.requestedCores());
    default:
      return numbers_[size_t(setting)];
  }
}

std::string Options::text(Setting setting) const {
  if (setting == Setting::BookFile) return book_.path();
  if (setting == Setting::SyzygyPath) return tablebases_.path();
  return texts_[size_t(setting)];
}

std::string Options::valueText(const OptionRow& r) const {
  switch (r.type) {
    case OptionType::Spin:
      return std::to_string(number(r.setting));
    case OptionType::Check:
      return flag(r.setting) ? "true" : "false";
    case OptionType::String:
      return text(r.setting);
    case OptionType::Button:
      break;
  }
  return "";
}

}  // namespace varnu
