// What a large transposition table costs: for each size, the time to make it (the "Hash" option
// or "ttHashSizeMB"), the first search to a fixed depth from the start position, the time to
// empty the table (a new game, "Clear Hash"), and the same search again, with one search
// thread. Both searches run the same tree, so their speeds compare directly: a table whose
// pages are first touched by the search shows as a search slower in nodes per second.
//
//   table_bench [depth] [repeats]
//
// Each repeat makes every size once in turn; the figures are medians over the repeats, with the
// smallest and largest in brackets.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace {

constexpr uint32_t sizes[] = {16, 256, 1024, 2048};

// Keeps the nodes of each search.
struct Listener : varnu::EngineListener {
  void onStatistics(const varnu::SearchStatistics& s) override { nodes = s.nodes; }
  uint64_t nodes = 0;
};

struct Sample {
  double makeMs = 0, clearMs = 0;
  double firstSeconds = 0, secondSeconds = 0;
  double firstNps = 0, secondNps = 0;
};

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

Sample measure(uint32_t megabytes, int depth) {
  using namespace varnu;
  SearchLimits limits;  // a clock that never runs out: each search ends at the depth
  limits.moveTime = 1 << 30;
  limits.depth = depth;
  Sample s;
  Output quiet;
  Engine engine(quiet);
  Listener listener;
  engine.attach(listener, FrontEndStyle{});
  engine.setOption(Setting::OwnBook, "false", Protocol::Uci);
  engine.setOption(Setting::Hash, std::to_string(megabytes), Protocol::Uci);
  auto start = std::chrono::steady_clock::now();
  engine.prepare();
  s.makeMs = secondsSince(start) * 1000;
  double* const seconds[] = {&s.firstSeconds, &s.secondSeconds};
  double* const nps[] = {&s.firstNps, &s.secondNps};
  for (int k = 0; k < 2; ++k) {
    if (k == 1) {
      start = std::chrono::steady_clock::now();
      engine.setOption(Setting::ClearHash, "", Protocol::Uci);
      s.clearMs = secondsSince(start) * 1000;
    }
    start = std::chrono::steady_clock::now();
    engine.go(limits, SearchGoal::ReportMove);
    engine.waitIdle();
    *seconds[k] = secondsSince(start);
    *nps[k] = double(listener.nodes) / *seconds[k];
  }
  engine.detach(listener);
  return s;
}

// "median [smallest, largest]" of one figure over the repeats.
void printFigure(std::vector<double> values, const char* format) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  std::printf(format, median);
  std::printf(" [");
  std::printf(format, values.front());
  std::printf(", ");
  std::printf(format, values.back());
  std::printf("]");
}

}  // namespace

int main(int argc, char** argv) {
  const int depth = argc > 1 ? std::atoi(argv[1]) : 10;
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  std::vector<std::vector<Sample>> samples(std::size(sizes));
  for (int r = 0; r < repeats; ++r)
    for (size_t i = 0; i < std::size(sizes); ++i) samples[i].push_back(measure(sizes[i], depth));
  std::printf("depth %d from the start position, one search thread, %d repeats\n", depth, repeats);
  for (size_t i = 0; i < std::size(sizes); ++i) {
    std::vector<double> make, clear, first, second, firstNps, secondNps, ratio;
    for (const Sample& s : samples[i]) {
      make.push_back(s.makeMs);
      clear.push_back(s.clearMs);
      first.push_back(s.firstSeconds);
      second.push_back(s.secondSeconds);
      firstNps.push_back(s.firstNps / 1000);
      secondNps.push_back(s.secondNps / 1000);
      ratio.push_back(s.firstNps / s.secondNps);
    }
    std::printf("%5u MB: make ", sizes[i]);
    printFigure(make, "%.0f");
    std::printf(" ms, first ");
    printFigure(first, "%.3f");
    std::printf(" s ");
    printFigure(firstNps, "%.0f");
    std::printf(" kn/s, clear ");
    printFigure(clear, "%.0f");
    std::printf(" ms, second ");
    printFigure(second, "%.3f");
    std::printf(" s ");
    printFigure(secondNps, "%.0f");
    std::printf(" kn/s, first/second n/s ");
    printFigure(ratio, "%.2f");
    std::printf("\n");
  }
  return 0;
}
