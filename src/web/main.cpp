// Varnu as WebAssembly: the UCI engine of a web page's Web Worker, or of Node on standard input
// and output. Its one thread runs the command loop and the search in turn (see web_input.h).
#include <cstdio>
#include <string>
#include <string_view>

#include "engine/bench_command.h"
#include "session/session.h"
#include "uci/uci.h"
#include "web/web_input.h"

int main(int argc, char** argv) {
  varnu::Output out(stdout);
  // "bench [depth]" runs the benchmark instead of the protocol.
  if (argc > 1 && std::string_view(argv[1]) == "bench")
    return varnu::runBench(out, argc - 2, argv + 2);
  varnu::Session session(out);
  varnu::WebInput input;
  varnu::LineReader reader([&] { return input.nextByte(); }, varnu::UciEngine::MaxLine);
  varnu::UciEngine uci(session);
  session.pool.setInputPoll([&](bool waiting) { input.poll(uci, waiting); });

  // This build speaks UCI only; its GUI opens with "uci".
  std::string line;
  while (reader.next(line)) {
    out.logInput(line);
    if (line == "uci") return uci.run(reader, varnu::readCommandLine(argc, argv));
    if (!line.empty()) out.line("info string this engine speaks UCI: send \"uci\" first");
  }
  return 0;
}
