// Varnu: a chess engine for xboard/CECP and UCI front ends.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "cli/bench_command.h"
#include "engine/command_line.h"
#include "engine/engine.h"
#include "platform/console.h"
#include "uci/uci.h"
#include "xboard/xboard.h"

namespace {

// Runs the UCI front end for the rest of the input, the first "uci" already read.
int runUci(varnu::Engine& engine, varnu::Output& out,
           const std::vector<varnu::CommandLineItem>& commandLine) {
  varnu::UciFrontEnd uci(engine, out);
  varnu::LineReader reader(stdin, varnu::UciFrontEnd::MaxLine);
  return uci.run(reader, commandLine);
}

}  // namespace

int main(int argc, char** argv) {
  varnu::useBinaryStandardStreams();
  varnu::Output out(stdout);
  // "varnu bench [depth]" runs the benchmark instead of the protocol.
  if (argc > 1 && std::string_view(argv[1]) == "bench")
    return varnu::runBench(out, argc - 2, argv + 2);
  varnu::Engine engine(out);
  varnu::LineReader reader(stdin);
  const auto commandLine = varnu::readCommandLine(argc, argv);

  // A GUI that speaks UCI sends "uci" first and expects nothing of xboard's start-up before it,
  // so a GUI's first line is awaited before anything is printed. A person at a terminal sees
  // the xboard banner at once instead, and may still switch to UCI with a first "uci".
  if (!varnu::inputIsTerminal()) {
    std::vector<std::string> before;
    std::string line;
    bool ended = !reader.next(line);
    while (!ended && line.empty()) {
      before.push_back(line);
      ended = !reader.next(line);
    }
    if (!ended && line == "uci") {
      out.logInput(line);
      return runUci(engine, out, commandLine);
    }
    // Anything else is an xboard session's first line, read again by its loop.
    if (!ended) before.push_back(line);
    reader.unread(before);
  }
  bool uciRequested = false;
  int status = 0;
  {
    varnu::XboardFrontEnd xboard(engine, out);
    xboard.printBanner();
    xboard.applyCommandLine(commandLine);
    status = xboard.run(reader);
    uciRequested = xboard.uciRequested();
  }
  if (!uciRequested) return status;
  // The xboard start-up ends with its prompt, which has no line feed: the first answer would be
  // glued to it.
  out.line("");
  return runUci(engine, out, {});
}
