// Varnu as WebAssembly: the UCI engine of a web page's Web Worker, or of Node on standard input
// and output. Its one thread runs the command loop and the search in turn: the search runs within
// the command that starts it and takes the lines that come meanwhile (see web_input.h).
#include <cstdio>
#include <string>
#include <string_view>

#include "cli/bench_command.h"
#include "engine/engine.h"
#include "uci/uci.h"
#include "web/web_input.h"

int main(int argc, char** argv) {
  varnu::Output out(stdout);
  // "bench [depth]" runs the benchmark instead of the protocol.
  if (argc > 1 && std::string_view(argv[1]) == "bench")
    return varnu::runBench(out, argc - 2, argv + 2);
  varnu::Engine engine(out);
  varnu::WebInput input;
  varnu::LineReader reader([&] { return input.nextByte(); }, varnu::UciFrontEnd::MaxLine);
  varnu::UciFrontEnd uci(engine, out, &input);

  // This build speaks UCI only; its GUI opens with "uci".
  std::string line;
  while (reader.next(line)) {
    out.logInput(line);
    if (line == "uci") return uci.run(reader, varnu::readCommandLine(argc, argv));
    if (!line.empty()) out.line("info string this engine speaks UCI: send \"uci\" first");
  }
  return 0;
}
