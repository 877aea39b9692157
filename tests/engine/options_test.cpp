// The option table as users meet it: the README's table is what both protocols announce, and
// values are read strictly in both protocols but for the one option xboard has always read
// leniently.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "uci/uci.h"
#include "xboard/xboard.h"

namespace varnu {
namespace {

struct ReadmeRow {
  std::string uci, xboard, type, defaultValue, range;
};

std::string trimmed(std::string text) {
  const size_t first = text.find_first_not_of(" `");
  const size_t last = text.find_last_not_of(" `");
  return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

// The rows of the README's option table, by UCI name (or xboard name where UCI has none).
std::map<std::string, ReadmeRow> readmeOptions() {
  std::ifstream readme(VARNU_SOURCE_DIR "/README.md");
  std::map<std::string, ReadmeRow> rows;
  std::string line;
  bool inTable = false;
  while (std::getline(readme, line)) {
    if (line.rfind("| UCI name | xboard name |", 0) == 0) {
      inTable = true;
      std::getline(readme, line);  // the separator row
      continue;
    }
    if (!inTable) continue;
    if (line.empty() || line[0] != '|') break;
    std::vector<std::string> cells;
    for (size_t at = 1; at < line.size();) {
      const size_t bar = line.find('|', at);
      cells.push_back(trimmed(line.substr(at, bar - at)));
      at = bar + 1;
    }
    const ReadmeRow row{cells[0], cells[1], cells[2], cells[3], cells[4]};
    rows[row.uci.empty() ? row.xboard : row.uci] = row;
  }
  return rows;
}

// The README's words for a range; the number of threads goes up to the processors.
std::string rangeText(const std::string& name, const std::string& min, const std::string& max) {
  if (name == "Threads" && max == std::to_string(std::thread::hardware_concurrency()))
    return min + " to the processors";
  return min + " to " + max;
}

TEST(OptionTable, TheReadmeTableIsWhatBothProtocolsAnnounce) {
  auto readme = readmeOptions();
  ASSERT_FALSE(readme.empty());
  Output out;
  Engine engine(out);
  UciFrontEnd uci(engine, out);
  uci.execute("uci");
  std::istringstream uciLines(out.captured());
  const std::regex uciOption(
      "option name (.+?) type (\\w+)(?: default (.*?))?(?: min (\\d+) max (\\d+))?");
  size_t uciCount = 0;
  for (std::string line; std::getline(uciLines, line);) {
    std::smatch m;
    if (!std::regex_match(line, m, uciOption)) continue;
    ++uciCount;
    ASSERT_TRUE(readme.count(m[1])) << line;
    const ReadmeRow& row = readme[m[1]];
    EXPECT_EQ(row.type, m[2]) << line;
    const std::string value = m[3] == "<empty>" ? "(empty)" : std::string(m[3]);
    EXPECT_EQ(row.defaultValue, value) << line;
    const std::string range = m[4].matched ? rangeText(m[1], m[4], m[5]) : "";
    EXPECT_EQ(row.range.substr(0, row.range.find(" (xboard")), range) << line;
  }

  Output xboardOut;
  Engine xboardEngine(xboardOut);
  XboardFrontEnd xboard(xboardEngine, xboardOut);
  xboard.execute("protover 2");
  std::istringstream xboardLines(xboardOut.captured());
  const std::regex xboardOption("feature option=\"(\\S+) -(\\w+) ?(\\S*)(?: (\\d+) (\\d+))?\"");
  size_t xboardCount = 0;
  for (std::string line; std::getline(xboardLines, line);) {
    std::smatch m;
    if (!std::regex_match(line, m, xboardOption)) continue;
    ++xboardCount;
    const auto row = std::find_if(readme.begin(), readme.end(),
                                  [&](const auto& r) { return r.second.xboard == m[1]; });
    ASSERT_NE(row, readme.end()) << line;
    std::string value = m[3].str().empty() ? "(empty)" : std::string(m[3]);
    if (m[2] == "check") value = value == "1" ? "true" : "false";
    EXPECT_EQ(row->second.defaultValue, value) << line;
    if (m[4].matched) {
      const std::string range = rangeText(m[1], m[4], m[5]);
      const std::string& readmeRange = row->second.range;
      EXPECT_TRUE(readmeRange == range ||
                  readmeRange.find("(xboard: " + range + ")") != std::string::npos)
          << line;
    }
  }
  size_t withUci = 0, withXboard = 0;
  for (const auto& [name, row] : readme) {
    withUci += !row.uci.empty();
    withXboard += !row.xboard.empty();
  }
  EXPECT_EQ(uciCount, withUci);
  EXPECT_EQ(xboardCount, withXboard);
}

// The installed manual page names every option in both protocols, as the README's table does.
TEST(OptionTable, TheManualPageNamesEveryOption) {
  std::ifstream manual(VARNU_SOURCE_DIR "/packaging/varnu.6");
  const std::string page{std::istreambuf_iterator<char>(manual), {}};
  ASSERT_FALSE(page.empty());
  for (const auto& [name, row] : readmeOptions()) {
    for (const std::string& name : {row.uci, row.xboard}) {
      EXPECT_TRUE(name.empty() || page.find(name) != std::string::npos) << name;
    }
  }
}

TEST(OptionTable, ValuesAreReadStrictlyButXboardsHashSize) {
  const struct {
    Setting setting;
    Protocol protocol;
    const char* text;
    bool accepted;
    int32_t number;
  } cases[] = {
      {Setting::MoveOverhead, Protocol::Xboard, "250", true, 250},
      {Setting::MoveOverhead, Protocol::Xboard, "250ms", false, 0},
      {Setting::MoveOverhead, Protocol::Xboard, "", false, 0},
      {Setting::MoveOverhead, Protocol::Xboard, "-1", false, 0},
      {Setting::MoveOverhead, Protocol::Uci, "5001", false, 0},
      {Setting::MultiPV, Protocol::Xboard, " 3", false, 0},
      {Setting::MultiPV, Protocol::Uci, "3.0", false, 0},
      {Setting::MultiPV, Protocol::Uci, "99999999999", false, 0},
      {Setting::Hash, Protocol::Xboard, "64abc", true, 64},
      {Setting::Hash, Protocol::Xboard, "4096", false, 0},
      {Setting::Hash, Protocol::Uci, "4096", true, 4096},
      {Setting::Hash, Protocol::Uci, "64abc", false, 0},
      {Setting::OwnBook, Protocol::Uci, "FALSE", true, 0},
      {Setting::OwnBook, Protocol::Uci, "no", false, 0},
      {Setting::Threads, Protocol::Uci, "0", false, 0},
  };
  Output out;
  Engine engine(out);
  const Options& options = engine.options();
  for (const auto& c : cases) {
    OptionValue value;
    EXPECT_EQ(options.read(c.setting, c.text, c.protocol, value), c.accepted) << c.text;
    if (c.accepted) {
      EXPECT_EQ(value.number, c.number) << c.text;
    }
  }
  OptionValue path;
  EXPECT_TRUE(options.read(Setting::BookFile, "<empty>", Protocol::Uci, path));
  EXPECT_EQ(path.text, "");
  EXPECT_FALSE(options.read(Setting::BookFile, std::string(256, 'b'), Protocol::Xboard, path));
}

}  // namespace
}  // namespace varnu
