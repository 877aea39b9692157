// Varnu as WebAssembly: the UCI engine of a web page's Web Worker, or of Node on standard input
// and output. Built without threads, its one thread runs the command loop and the search in turn:
// the search runs within the command that starts it and takes the lines that come meanwhile (see
// web_input.h). Built with Emscripten's threads, the command loop waits for lines on a thread of
// its own and the search pool runs its threads as natively (see line_queue.h).
#include <cstdio>
#include <string>
#include <string_view>

#include "cli/bench_command.h"
#include "engine/engine.h"
#include "uci/uci.h"

#ifdef __EMSCRIPTEN_PTHREADS__
#include "web/line_queue.h"
using EngineInput = varnu::LineQueue;
#else
#include "web/web_input.h"
using EngineInput = varnu::WebInput;
#endif

int main(int argc, char** argv) {
  varnu::Output out(stdout);
  // "bench [depth]" runs the benchmark instead of the protocol.
  if (argc > 1 && std::string_view(argv[1]) == "bench")
    return varnu::runBench(out, argc - 2, argv + 2);
  varnu::Engine engine(out);
  EngineInput input;
  varnu::LineReader reader([&] { return input.nextByte(); }, varnu::UciFrontEnd::MaxLine);
  varnu::UciFrontEnd uci(engine, out, input.searchPoll());

  // As the native engine does, it says its name first; this build speaks UCI only, and its GUI
  // opens with "uci" or another UCI command.
  out.line(varnu::startupLine());
  std::string line;
  while (reader.next(line)) {
    out.logInput(line);
    if (varnu::isUciCommand(line)) {
      if (line != "uci") reader.unread({line});
      return uci.run(reader, varnu::readCommandLine(argc, argv), line == "uci");
    }
    if (!line.empty()) out.line("info string this engine speaks UCI: send \"uci\" first");
  }
  return 0;
}
