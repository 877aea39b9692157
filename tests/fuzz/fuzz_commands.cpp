// Fuzzes the command loops with arbitrary input lines on long-lived engines. An input whose first
// line is "uci" goes to the UCI front end, as it would in the engine; any other input goes to the
// xboard loop. A search that a command starts is given a moment and then stopped, so that every
// input stays fast.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

#include "board/number.h"
#include "engine/engine.h"
#include "uci/uci.h"
#include "xboard/xboard.h"

using namespace varnu;

namespace {

// Developer commands whose work grows without bound are kept small, in both loops: "go perft 9"
// is a valid UCI command that runs for hours.
bool tooSlow(const std::string& line) {
  if (line.rfind("selftest", 0) == 0 || line.rfind("quit", 0) == 0) return true;
  // "perft" may come after "go" and other words in the UCI loop.
  for (const char* word : {"perft", "divide"}) {
    const size_t at = line.find(word);
    if (at != std::string::npos) {
      const size_t space = line.find(' ', at);
      return space == std::string::npos || parseNumber(line.substr(space + 1)) > 3;
    }
  }
  return false;
}

// Every table is written in full when it is made, so a line that may set a large table size
// ("option ttHashSizeMB=...", "memory ...", "setoption name Hash value ...") is skipped unless
// its numbers are small.
bool tableTooLarge(const std::string& line) {
  std::string lower(line);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  if (lower.find("hash") == std::string::npos && lower.find("memory") == std::string::npos)
    return false;
  for (size_t i = 0; i < lower.size(); ++i) {
    if (lower[i] < '0' || lower[i] > '9' || (i > 0 && lower[i - 1] >= '0' && lower[i - 1] <= '9'))
      continue;
    if (parseNumber(lower.substr(i)) > 16) return true;
  }
  return false;
}

// A line that may set the debug log would have the fuzzer write files wherever it names.
bool namesLogFile(const std::string& line) {
  std::string lower(line);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return lower.find("log") != std::string::npos;
}

std::FILE* devNull() {
  static std::FILE* file = std::fopen("/dev/null", "w");
  return file;
}

XboardFrontEnd& xboardFrontEnd() {
  static Output out(devNull());
  static Engine engine(out);
  static XboardFrontEnd* x = [] {
    auto* xboard = new XboardFrontEnd(engine, out);
    xboard->execute("option ttHashSizeMB=1");
    xboard->startUp();
    return xboard;
  }();
  return *x;
}

// The UCI front end has an engine of its own, as it has in the program.
UciFrontEnd& uciFrontEnd() {
  static Output out(devNull());
  static Engine engine(out);
  static UciFrontEnd* u = [] {
    auto* uci = new UciFrontEnd(engine, out);
    uci->execute("setoption name Hash value 1");
    return uci;
  }();
  return *u;
}

void settle(XboardFrontEnd& e) {
  for (int i = 0; i < 5 && e.searching(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (e.searching()) e.execute("force");
}

void settle(UciFrontEnd& u) {
  for (int i = 0; i < 5 && u.searching(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (u.searching()) u.execute("stop");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (!in) return 0;
  LineReader reader(in);
  std::string line;
  if (!reader.next(line)) {
    std::fclose(in);
    return 0;
  }
  if (line == "uci") {
    UciFrontEnd& u = uciFrontEnd();
    LineReader uciReader(in, UciFrontEnd::MaxLine);
    while (uciReader.next(line)) {
      if (uciReader.cut()) uciReader.skipRestOfLine();
      if (tooSlow(line) || tableTooLarge(line) || namesLogFile(line)) continue;
      u.execute(line);
      settle(u);
    }
    std::fclose(in);
    settle(u);
    return 0;
  }
  XboardFrontEnd& e = xboardFrontEnd();
  do {
    if (tooSlow(line) || tableTooLarge(line) || namesLogFile(line)) continue;
    e.execute(line);
    settle(e);
  } while (reader.next(line));
  std::fclose(in);
  settle(e);
  return 0;
}
