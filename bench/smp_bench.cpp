// How the search scales with its threads: the bench positions searched to a fixed depth, each
// from an empty table, through the engine's calls, with 1, 2, 4, ... threads up to the
// processors (and the processor count itself when it is no power of two). Prints a Markdown
// table of the time to depth and the nodes per second at each count, with both speed-ups over
// one thread, and the nodes per second of processor time: on a machine that other work shares,
// the threads may not get a core each, and the wall-clock figures fall short for that reason
// alone, while a thread that slows the others (two threads writing one cache line, say) lowers
// the nodes per processor second. The last column is the speed-up that one core for each thread
// would give: one thread's processor time to depth over the processor time per thread, which
// holds as long as the threads share what processor time they get evenly.
//
//   smp_bench [depth] [repeats] [most threads]
//
// Each repeat runs every thread count once in turn, so that a machine whose load changes meets
// them all alike; the figures are medians over the repeats, the times with the smallest and
// largest in brackets. The time to depth is the one that counts for play: extra threads add
// nodes that only help as far as they fill the table for the master.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "search/bench.h"

namespace {

// Keeps the nodes of each search.
struct Listener : varnu::EngineListener {
  void onStatistics(const varnu::SearchStatistics& s) override { nodes = s.nodes; }
  uint64_t nodes = 0;
};

struct Sample {
  double seconds = 0;
  double processorSeconds = 0;  // of the whole process: every thread's
  uint64_t nodes = 0;
};

// Every bench position searched to the depth by this many threads, each from an empty table.
Sample timeToDepth(int threads, int depth) {
  using namespace varnu;
  SearchLimits limits;  // a clock that never runs out: each search ends at the depth
  limits.moveTime = 1 << 30;
  limits.depth = depth;
  Output quiet;
  Engine engine(quiet);
  Listener listener;
  engine.attach(listener, FrontEndStyle{});
  engine.setOption(Setting::OwnBook, "false", Protocol::Uci);
  engine.setOption(Setting::Hash, std::to_string(BenchHashMegabytes), Protocol::Uci);
  engine.setCores(threads);
  engine.prepare();
  Sample s;
  for (const char* fen : benchPositions) {
    engine.setPosition(fen);
    engine.setOption(Setting::ClearHash, "", Protocol::Uci);
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t processorStart = std::clock();
    engine.go(limits, SearchGoal::ReportMove);
    engine.waitIdle();
    s.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    s.processorSeconds += double(std::clock() - processorStart) / CLOCKS_PER_SEC;
    s.nodes += listener.nodes;
  }
  engine.detach(listener);
  return s;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  const int depth = argc > 1 ? std::atoi(argv[1]) : varnu::BenchDefaultDepth;
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const int processors = int(std::max(1u, std::thread::hardware_concurrency()));
  const int most = argc > 3 ? std::clamp(std::atoi(argv[3]), 1, processors) : processors;
  std::vector<int> counts;
  for (int n = 1; n <= most; n *= 2) counts.push_back(n);
  if (counts.back() != most) counts.push_back(most);

  std::vector<std::vector<Sample>> samples(counts.size());
  for (int r = 0; r < repeats; ++r)
    for (size_t i = 0; i < counts.size(); ++i) samples[i].push_back(timeToDepth(counts[i], depth));

  std::printf(
      "Depth %d over the %zu bench positions, each from an empty %u MB table; medians of "
      "%d repeats, %d processors\n\n",
      depth, varnu::benchPositions.size(), varnu::BenchHashMegabytes, repeats, processors);
  std::printf(
      "| Threads | Time to depth (s) | Nodes | Nodes per second | Speed-up, time to depth "
      "| Speed-up, nodes per second | Nodes per processor second | Speed-up, processor time "
      "per thread |\n");
  std::printf("|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  double oneTime = 0, oneSpeed = 0, oneProcessor = 0;
  for (size_t i = 0; i < counts.size(); ++i) {
    std::vector<double> times, nodes, speeds, processorSpeeds, perThread;
    for (const Sample& s : samples[i]) {
      times.push_back(s.seconds);
      nodes.push_back(double(s.nodes));
      speeds.push_back(s.nodes / s.seconds);
      processorSpeeds.push_back(s.nodes / s.processorSeconds);
      perThread.push_back(s.processorSeconds / counts[i]);
    }
    const double time = median(times), speed = median(speeds), processor = median(perThread);
    if (i == 0) {
      oneTime = time;
      oneSpeed = speed;
      oneProcessor = processor;
    }
    std::printf("| %d | %.2f [%.2f, %.2f] | %.0f | %.0f | %.2f | %.2f | %.0f | %.2f |\n", counts[i],
                time, *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()), median(nodes), speed, oneTime / time,
                speed / oneSpeed, median(processorSpeeds), oneProcessor / processor);
  }
  return 0;
}
