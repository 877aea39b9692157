#include "session/options.h"

#include <algorithm>

#include "board/number.h"
#include "session/session.h"

namespace varnu {

namespace {

bool setHash(Session& s, int32_t megabytes, const std::string&) {
  return s.pool.table().setSize(uint32_t(megabytes));
}

bool setThreads(Session& s, int32_t threads, const std::string&) {
  s.pool.setCores(threads);
  return true;
}

bool setBookFile(Session& s, int32_t, const std::string& path) {
  s.book.setPath(path);
  return true;
}

bool clearHash(Session& s, int32_t, const std::string&) {
  s.pool.table().clear();
  return true;
}

bool setDebugLog(Session& s, int32_t, const std::string& path) { return s.out.openLog(path); }

bool setLevelSeed(Session& s, int32_t seed, const std::string&) {
  if (seed != 0) s.gameSeed = uint64_t(seed);
  return true;
}

bool setSyzygyPath(Session& s, int32_t, const std::string& path) {
  s.tablebases.setPath(path);
  return true;
}

using T = OptionType;
constexpr bool Lenient = true;
constexpr bool Restarts = true;

// The table. The names and ranges are those both protocols announce; a new setting is a new row.
constexpr OptionRow table[] = {
    {Setting::Hash, "Hash", "ttHashSizeMB", T::Spin, 256, 1, 65536, "", "-spin", 2048, Lenient,
     false, setHash,
     "xboard's option keeps the range it has always announced; xboard's memory command takes "
     "the whole range"},
    {Setting::Threads, "Threads", "", T::Spin, 1, 1, ProcessorCount, "", "", 0, false, false,
     setThreads, "xboard: the cores command and -cores, which use at most the processors"},
    {Setting::OwnBook, "OwnBook", "", T::Check, 1, 0, 1, "", "", 0, false, false, nullptr,
     "xboard: the book and nobook commands"},
    {Setting::BookFile, "BookFile", "bookFilePath", T::String, 0, 0, 0, "book.bin", "-path", 0,
     false, false, setBookFile, ""},
    {Setting::MoveOverhead, "Move Overhead", "moveOverheadMs", T::Spin, 100, 0, 5000, "", "-spin",
     0, false, false, nullptr, ""},
    {Setting::MultiPV, "MultiPV", "MultiPV", T::Spin, 1, 1, 256, "", "-spin", 0, false, Restarts,
     nullptr, ""},
    {Setting::ClearHash, "Clear Hash", "", T::Button, 0, 0, 0, "", "", 0, false, false, clearHash,
     "xboard: every new game starts with an empty table"},
    {Setting::Ponder, "Ponder", "", T::Check, 0, 0, 1, "", "", 0, false, false, nullptr,
     "xboard: the hard and easy commands"},
    {Setting::Chess960, "UCI_Chess960", "", T::Check, 0, 0, 1, "", "", 0, false, false, nullptr,
     "xboard: the variant command"},
    {Setting::DebugLogFile, "Debug Log File", "debugLogFile", T::String, 0, 0, 0, "", "-file", 0,
     false, false, setDebugLog, ""},
    {Setting::SyzygyPath, "SyzygyPath", "", T::String, 0, 0, 16383, "", "", 0, false, Restarts,
     setSyzygyPath, "xboard: the egtpath syzygy command; a list of folders may be long"},
    {Setting::SyzygyProbeDepth, "SyzygyProbeDepth", "syzygyProbeDepth", T::Spin, 1, 1, 100, "",
     "-spin", 0, false, Restarts, nullptr, ""},
    {Setting::Syzygy50MoveRule, "Syzygy50MoveRule", "syzygy50MoveRule", T::Check, 1, 0, 1, "",
     "-check", 0, false, Restarts, nullptr, ""},
    {Setting::SyzygyProbeLimit, "SyzygyProbeLimit", "syzygyProbeLimit", T::Spin, 7, 0, 7, "",
     "-spin", 0, false, Restarts, nullptr, ""},
    {Setting::ShowWdl, "UCI_ShowWDL", "", T::Check, 0, 0, 1, "", "", 0, false, false, nullptr,
     "xboard: none, its thinking lines have no place for the odds"},
    {Setting::LimitStrength, "UCI_LimitStrength", "limitStrength", T::Check, 0, 0, 1, "", "-check",
     0, false, false, nullptr, ""},
    {Setting::Elo, "UCI_Elo", "elo", T::Spin, FullStrengthElo, LowestElo, FullStrengthElo, "",
     "-spin", 0, false, false, nullptr, ""},
    {Setting::SkillLevel, "Skill Level", "skillLevel", T::Spin, 20, 0, 20, "", "-spin", 0, false,
     false, nullptr, ""},
    {Setting::LevelSeed, "Level Seed", "levelSeed", T::Spin, 0, 0, 2147483647, "", "-spin", 0,
     false, false, setLevelSeed, ""},
};

static_assert(std::size(table) == size_t(Setting::Count));

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

Options::Options(Session& session) : session_(session) {
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
  if (r.max == ProcessorCount) return int32_t(session_.pool.maxCores());
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

bool Options::apply(Setting setting, const OptionValue& value) {
  const OptionRow& r = row(setting);
  if (r.apply && !r.apply(session_, value.number, value.text)) return false;
  numbers_[size_t(setting)] = value.number;
  texts_[size_t(setting)] = value.text;
  return true;
}

Options::Result Options::set(Setting setting, std::string_view text, Protocol protocol) {
  OptionValue value;
  if (!read(setting, text, protocol, value)) return Result::BadValue;
  return apply(setting, value) ? Result::Done : Result::Refused;
}

int32_t Options::number(Setting setting) const {
  switch (setting) {
    case Setting::Hash:
      return int32_t(session_.pool.table().size());
    case Setting::Threads:
      return int32_t(session_.pool.requestedCores());
    default:
      return numbers_[size_t(setting)];
  }
}

std::string Options::text(Setting setting) const {
  if (setting == Setting::BookFile) return session_.book.path();
  if (setting == Setting::SyzygyPath) return session_.tablebases.path();
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

void Options::fillLimits(SearchLimits& limits) const {
  limits.moveOverhead = moveOverhead();
  limits.multiPV = number(Setting::MultiPV);
  limits.tablebases.probeLimit = number(Setting::SyzygyProbeLimit);
  limits.tablebases.probeDepth = number(Setting::SyzygyProbeDepth);
  limits.tablebases.rule50 = flag(Setting::Syzygy50MoveRule);
  // Skill Level 0 to 20 spans the ratings from the lowest to full strength in even steps; with
  // the strength limited as well, the lower of the two counts.
  const int skill = number(Setting::SkillLevel);
  int elo = LowestElo + (FullStrengthElo - LowestElo) * skill / 20;
  if (flag(Setting::LimitStrength)) elo = std::min(elo, int(number(Setting::Elo)));
  limits.level.elo = elo;
  limits.level.seed = session_.gameSeed;
}

}  // namespace varnu
