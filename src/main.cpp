// Varnu: a chess engine for xboard/CECP and UCI front ends.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "cli/bench_command.h"
#include "cli/genfens.h"
#include "engine/command_line.h"
#include "engine/engine.h"
#include "platform/console.h"
#include "uci/uci.h"
#include "xboard/xboard.h"

namespace {

// Runs the UCI front end for the rest of the input, from the line read already (if any) on: its
// "uci" is answered at once when that line was "uci".
int runUci(varnu::Engine& engine, varnu::Output& out, const std::string& firstLine,
           const std::vector<varnu::CommandLineItem>& commandLine) {
  varnu::UciFrontEnd uci(engine, out);
  varnu::LineReader reader(stdin, varnu::UciFrontEnd::MaxLine);
  if (!firstLine.empty() && firstLine != "uci") reader.unread({firstLine});
  return uci.run(reader, commandLine, firstLine == "uci");
}

// Runs commands given as the program's arguments, one argument each, in order, as test farms
// (OpenBench) give them: "genfens ...", "bench [depth]", "quit", and any UCI command, which a UCI
// session made for the first of them runs. The program ends after the last. Returns the exit
// status: that of the last genfens or bench, else 0.
int runArguments(varnu::Output& out, int argc, char** argv) {
  std::unique_ptr<varnu::Engine> engine;
  std::unique_ptr<varnu::UciFrontEnd> uci;
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string command = argv[i];
    const varnu::Words words = varnu::splitWords(command);
    if (words.empty()) continue;
    if (words[0] == "quit") break;
    if (words[0] == "genfens") {
      status = varnu::runGenfens(out, command);
    } else if (words[0] == "bench") {
      std::vector<std::string> rest(words.begin() + 1, words.end());
      std::vector<const char*> args;
      for (const std::string& word : rest) args.push_back(word.c_str());
      status = varnu::runBench(out, int(args.size()), args.data());
    } else {
      if (!uci) {
        engine = std::make_unique<varnu::Engine>(out);
        uci = std::make_unique<varnu::UciFrontEnd>(*engine, out);
      }
      out.logInput(command);
      uci->execute(command);
    }
  }
  if (uci) uci->endOfInput();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  varnu::useBinaryStandardStreams();
  varnu::Output out(stdout);
  // "varnu bench [depth]" runs the benchmark instead of the protocol; other arguments that are
  // not options ("-cores", "-quiet") are commands to run instead of reading any.
  if (argc > 1 && std::string_view(argv[1]) == "bench" && argc <= 3)
    return varnu::runBench(out, argc - 2, argv + 2);
  if (argc > 1 && argv[1][0] != '-') return runArguments(out, argc, argv);
  varnu::Engine engine(out);
  varnu::LineReader reader(stdin);
  const auto commandLine = varnu::readCommandLine(argc, argv);

  // A GUI that speaks UCI sends a UCI command first ("uci", or as Scid does a "setoption") and
  // expects nothing of xboard's start-up before it, so a GUI's first line is awaited before the
  // protocol is chosen. Some GUIs wait for the engine to say something first: the one line that
  // comes at once is the banner's first, which xboard shows and UCI GUIs pass over as they pass
  // over any line they do not know. A person at a terminal sees the whole xboard banner at once
  // instead, and may still switch to UCI with a first "uci".
  const bool terminal = varnu::inputIsTerminal();
  // "-quiet" is for GUIs that take a comment for a move: not even the first line is said.
  if (varnu::wantsQuiet(commandLine)) out.dropComments();
  if (!terminal) {
    out.line(varnu::startupLine());
    std::vector<std::string> before;
    std::string line;
    bool ended = !reader.next(line);
    while (!ended && line.empty()) {
      before.push_back(line);
      ended = !reader.next(line);
    }
    if (!ended && varnu::isUciCommand(line)) {
      // A UCI line is longer than xboard reads at a time: its pieces are put together.
      for (std::string piece; reader.cut() && reader.next(piece);) line += piece;
      out.logInput(line);
      return runUci(engine, out, line, commandLine);
    }
    // Anything else is an xboard session's first line, read again by its loop.
    if (!ended) before.push_back(line);
    reader.unread(before);
  }
  bool uciRequested = false;
  int status = 0;
  {
    varnu::XboardFrontEnd xboard(engine, out);
    xboard.printBanner(terminal);
    xboard.applyCommandLine(commandLine);
    status = xboard.run(reader);
    uciRequested = xboard.uciRequested();
  }
  if (!uciRequested) return status;
  // The xboard start-up ends with its prompt, which has no line feed: the first answer would be
  // glued to it.
  out.line("");
  return runUci(engine, out, "uci", {});
}
