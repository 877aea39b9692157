// Varnu: a chess engine for xboard/CECP and UCI front ends.
#include <cstdio>
#include <string_view>

#include "engine/bench_command.h"
#include "engine/engine.h"
#include "engine/platform.h"
#include "uci/uci.h"

int main(int argc, char** argv) {
  varnu::useBinaryStandardStreams();
  varnu::Output out(stdout);
  // "varnu bench [depth]" runs the benchmark instead of the protocol.
  if (argc > 1 && std::string_view(argv[1]) == "bench")
    return varnu::runBench(out, argc - 2, argv + 2);
  varnu::Engine engine(out);
  engine.printBanner();
  engine.readOptions(argc, argv);
  varnu::LineReader reader(stdin);
  const int status = engine.run(reader);
  if (!engine.uciRequested()) return status;
  // A first command "uci" hands the rest of the run to the UCI front end, over the same search.
  varnu::UciEngine uci(out, engine.searchPool(), engine.timeControl(), engine.book(),
                       varnu::EngineName);
  varnu::LineReader uciReader(stdin, varnu::UciEngine::MaxLine);
  return uci.run(uciReader);
}
