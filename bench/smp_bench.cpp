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
// Each thread count has an engine of its own for the whole run, and every position is searched
// by each of them in turn (in the reverse order at every other position) before the next one:
// a shared machine's speed changes over seconds, so that all counts meet the same changes. The
// figures are medians over the repeats, the times with the smallest and largest in brackets;
// the speed-ups are medians of each repeat's own ratios to one thread. The time to depth is the
// one that counts for play: extra threads add nodes that only help as far as they fill the table
// for the master.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
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

// An engine searching with this many threads, each search from an empty table.
class Runner {
 public:
  explicit Runner(int threads) : engine_(quiet_) {
    using namespace varnu;
    engine_.attach(listener_, FrontEndStyle{});
    engine_.setOption(Setting::OwnBook, "false", Protocol::Uci);
    engine_.setOption(Setting::Hash, std::to_string(BenchHashMegabytes), Protocol::Uci);
    engine_.setCores(threads);
    engine_.prepare();
  }
  ~Runner() { engine_.detach(listener_); }
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  // Searches the position to the depth and adds the search's figures to the sample.
  void search(const char* fen, int depth, Sample& s) {
    using namespace varnu;
    SearchLimits limits;  // a clock that never runs out: the search ends at the depth
    limits.moveTime = 1 << 30;
    limits.depth = depth;
    engine_.setPosition(fen);
    engine_.setOption(Setting::ClearHash, "", Protocol::Uci);
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t processorStart = std::clock();
    engine_.go(limits, SearchGoal::ReportMove);
    engine_.waitIdle();
    s.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    s.processorSeconds += double(std::clock() - processorStart) / CLOCKS_PER_SEC;
    s.nodes += listener_.nodes;
  }

 private:
  varnu::Output quiet_;
  varnu::Engine engine_;
  Listener listener_;
};

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

  std::vector<std::unique_ptr<Runner>> runners;
  for (int n : counts) runners.push_back(std::make_unique<Runner>(n));
  std::vector<std::vector<Sample>> samples(counts.size());
  for (int r = 0; r < repeats; ++r) {
    std::vector<Sample> round(counts.size());
    for (size_t p = 0; p < varnu::benchPositions.size(); ++p) {
      for (size_t k = 0; k < counts.size(); ++k) {
        const size_t i = (p + r) % 2 ? counts.size() - 1 - k : k;
        runners[i]->search(varnu::benchPositions[p], depth, round[i]);
      }
    }
    for (size_t i = 0; i < counts.size(); ++i) samples[i].push_back(round[i]);
  }

  std::printf(
      "Depth %d over the %zu bench positions, each from an empty %u MB table; medians of "
      "%d repeats, %d processors\n\n",
      depth, varnu::benchPositions.size(), varnu::BenchHashMegabytes, repeats, processors);
  std::printf(
      "| Threads | Time to depth (s) | Nodes | Nodes per second | Speed-up, time to depth "
      "| Speed-up, nodes per second | Nodes per processor second | Speed-up, processor time "
      "per thread |\n");
  std::printf("|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (size_t i = 0; i < counts.size(); ++i) {
    std::vector<double> times, nodes, speeds, processorSpeeds, timeGains, speedGains, coreGains;
    for (int r = 0; r < repeats; ++r) {
      const Sample& s = samples[i][r];
      const Sample& one = samples[0][r];
      times.push_back(s.seconds);
      nodes.push_back(double(s.nodes));
      speeds.push_back(s.nodes / s.seconds);
      processorSpeeds.push_back(s.nodes / s.processorSeconds);
      timeGains.push_back(one.seconds / s.seconds);
      speedGains.push_back((s.nodes / s.seconds) / (one.nodes / one.seconds));
      coreGains.push_back(one.processorSeconds / (s.processorSeconds / counts[i]));
    }
    std::printf("| %d | %.2f [%.2f, %.2f] | %.0f | %.0f | %.2f | %.2f | %.0f | %.2f |\n", counts[i],
                median(times), *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()), median(nodes), median(speeds),
                median(timeGains), median(speedGains), median(processorSpeeds), median(coreGains));
  }
  return 0;
}
