// Fuzzes the command loop with arbitrary input lines on one long-lived engine. A search that a
// command starts is given a moment and then stopped, so that every input stays fast.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

#include "board/number.h"
#include "engine/engine.h"

using namespace varnu;

namespace {

// Developer commands whose work grows without bound are kept small.
bool tooSlow(const std::string& line) {
  if (line.rfind("selftest", 0) == 0 || line.rfind("quit", 0) == 0) return true;
  for (const char* word : {"perft", "divide"}) {
    const std::string w = word;
    if (line.rfind(w, 0) == 0) {
      const size_t space = line.find(' ');
      return space == std::string::npos || parseNumber(line.substr(space + 1)) > 3;
    }
  }
  return false;
}

Engine& engine() {
  static std::FILE* devNull = std::fopen("/dev/null", "w");
  static Output out(devNull);
  static Engine* e = [] {
    auto* engine = new Engine(out);
    engine->startUp();
    engine->execute("option ttHashSizeMB=1");
    return engine;
  }();
  return *e;
}

void settle(Engine& e) {
  for (int i = 0; i < 5 && e.searching(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (e.searching()) e.execute("force");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Engine& e = engine();
  std::FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (!in) return 0;
  LineReader reader(in);
  std::string line;
  while (reader.next(line)) {
    if (tooSlow(line)) continue;
    e.execute(line);
    settle(e);
  }
  std::fclose(in);
  settle(e);
  return 0;
}
