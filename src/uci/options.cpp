// The handshake's option list and "setoption name <name> [value <value>]", both from the
// engine's option table. Names are matched without regard to case; a bad name or value changes
// nothing.
#include <string>

#include "uci/uci.h"

namespace varnu {

namespace {

constexpr std::string_view typeNames[] = {"spin", "check", "string", "button"};

}  // namespace

void UciFrontEnd::uci() {
  out_.line("id name " + std::string(EngineName));
  out_.line("id author " + std::string(EngineAuthor));
  for (const OptionRow& row : Options::rows()) {
    if (row.uciName.empty()) continue;
    std::string text = "option name " + std::string(row.uciName) + " type " +
                       std::string(typeNames[int(row.type)]);
    if (row.type != OptionType::Button) {
      const std::string value = engine_.options().valueText(row);
      // "<empty>" is the protocol's word for an empty text.
      text += " default " + (value.empty() ? std::string("<empty>") : value);
    }
    if (row.type == OptionType::Spin)
      text += " min " + std::to_string(row.min) + " max " +
              std::to_string(engine_.options().maximum(row, Protocol::Uci));
    out_.line(text);
  }
  out_.line("uciok");
  for (const std::string& warning : warnings_) info(warning);
  warnings_.clear();
}

void UciFrontEnd::setoption(std::string_view line, const Words& words) {
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
  std::string_view value;
  if (valueAt + 1 < words.size())
    value = line.substr(size_t(words[valueAt + 1].data() - line.data()));
  const OptionRow* row = Options::findUci(name);
  if (!row) {
    info("unknown option: " + name.substr(0, 100));
    return;
  }
  // A change the engine cannot make is told in a note, which says why.
  if (engine_.setOption(row->setting, value, Protocol::Uci) == Options::Result::BadValue)
    info("bad value for " + name + ": " + std::string(value.substr(0, 100)));
}

}  // namespace varnu
