// "setoption name <name> [value <value>]": Hash, Threads, OwnBook, BookFile, Clear Hash, Ponder,
// Move Overhead, MultiPV and UCI_Chess960.
// Names are matched without regard to case; a bad name or value changes nothing.
#include <string>

#include "board/number.h"
#include "uci/uci.h"

namespace varnu {

namespace {

constexpr size_t MaxBookPathLength = 255;

constexpr std::string_view optionNames[] = {
    "hash", "threads", "ownbook", "bookfile", "clear hash", "ponder", "move overhead", "multipv",
    "uci_chess960"};

std::string lowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return lower;
}

// A whole decimal number within [low, high].
bool readSpin(std::string_view text, int32_t low, int32_t high, int32_t& value) {
  if (text.empty() || text.size() > 10) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  value = parseNumber(text);
  return value >= low && value <= high;
}

}  // namespace

void UciEngine::setoption(std::string_view line, const Words& words) {
  if (words.size() < 3 || words[1] != "name") {
    info("setoption needs: setoption name <name> [value <value>]");
    return;
  }
  size_t valueAt = 2;
  while (valueAt < words.size() && words[valueAt] != "value") ++valueAt;
  std::string name;
  for (size_t i = 2; i < valueAt; ++i) {
    if (!name.empty()) name += ' ';
    name += words[i];
  }
  // The value is the rest of the line as written, so a path keeps its inner blanks.
  const bool hasValue = valueAt + 1 < words.size();
  std::string_view value;
  if (hasValue) value = line.substr(size_t(words[valueAt + 1].data() - line.data()));
  bool known = false;
  for (std::string_view n : optionNames) known = known || lowerCase(name) == n;
  if (!known)
    info("unknown option: " + name.substr(0, 100));
  else if (!setOptionValue(name, value, hasValue))
    info("bad value for " + name + ": " + std::string(value.substr(0, 100)));
}

bool UciEngine::setOptionValue(std::string_view name, std::string_view value, bool hasValue) {
  const std::string option = lowerCase(name);
  if (option == "hash") {
    int32_t megabytes = 0;
    if (!readSpin(value, 1, MaxHashMegabytes, megabytes)) return false;
    // A running search keeps its table; the new size comes when it has ended.
    if (!pool_.table().setSize(uint32_t(megabytes))) onTableRefused(uint32_t(megabytes));
    return true;
  }
  if (option == "threads") {
    int32_t threads = 0;
    if (!readSpin(value, 1, int32_t(pool_.maxCores()), threads)) return false;
    // Takes effect when the next search starts.
    pool_.setCores(threads);
    return true;
  }
  if (option == "ownbook") {
    const std::string flag = lowerCase(value);
    if (flag != "true" && flag != "false") return false;
    bookUse_ = flag == "true";
    return true;
  }
  if (option == "bookfile") {
    // "<empty>" is the protocol's word for an empty text.
    const std::string_view path = !hasValue || value == "<empty>" ? std::string_view() : value;
    if (path.size() > MaxBookPathLength) return false;
    book_.setPath(path);
    return true;
  }
  if (option == "uci_chess960") {
    // Read by the next "position" and written from the next "go" on.
    const std::string flag = lowerCase(value);
    if (flag != "true" && flag != "false") return false;
    chess960_ = flag == "true";
    return true;
  }
  if (option == "clear hash") {
    pool_.table().clear();
    return true;
  }
  // The GUI decides when to ponder ("go ponder"); the option only tells it that it may.
  if (option == "ponder") {
    const std::string flag = lowerCase(value);
    return flag == "true" || flag == "false";
  }
  if (option == "move overhead") {
    int32_t milliseconds = 0;
    if (!readSpin(value, 0, 10 * TimeControl::MaxMargin, milliseconds)) return false;
    moveOverhead_ = (milliseconds + 9) / 10;
    return true;
  }
  if (option == "multipv") {
    int32_t lines = 0;
    if (!readSpin(value, 1, MaxMultiPV, lines)) return false;
    // Takes effect when the next search starts.
    multiPV_ = lines;
    return true;
  }
  return false;
}

}  // namespace varnu
