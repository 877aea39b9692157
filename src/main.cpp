// Varnu: a chess engine for xboard/CECP front ends.
#include <cstdio>
#include <string_view>

#include "engine/bench_command.h"
#include "engine/engine.h"
#include "engine/platform.h"

int main(int argc, char** argv) {
  varnu::useBinaryStandardStreams();
  varnu::Output out(stdout);
  // "varnu bench [depth]" runs the benchmark instead of the protocol.
  if (argc > 1 && std::string_view(argv[1]) == "bench")
    return varnu::runBench(out, argc - 2, argv + 2);
  varnu::Engine engine(out);
  engine.printBanner();
  engine.readOptions(argc, argv);
  return engine.run(stdin);
}
