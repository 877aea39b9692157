#include "engine/engine.h"

#include <cstring>

#include "board/fen.h"
#include "board/game_end.h"
#include "board/number.h"

namespace varnu {

bool LineReader::next(std::string& line) {
  line.clear();
  int c = EOF;
  while (line.size() < MaxLine && (c = std::getc(in_)) != EOF) {
    line.push_back(char(c));
    if (c == '\n') break;
  }
  if (line.empty()) return false;
  // The text ends at a NUL byte, as a C string would.
  if (const size_t nul = line.find('\0'); nul != std::string::npos) line.resize(nul);
  if (!line.empty() && line.back() == '\n') line.pop_back();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return true;
}

Engine::Engine(Output& out) : out_(out), pool_(out) {}

void Engine::printBanner() {
  out_.block("# " + std::string(EngineName) +
             "\n# a chess engine for xboard/CECP front ends, by the Varnu developers\n# \n"
             "feature done=0\n");
}

void Engine::readOptions(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    if (option != "-cores") {
      out_.printf("# warning: found unknown command line option \"%s\"\n", argv[i]);
      continue;
    }
    if (i + 1 >= argc) {
      out_.line("# warning: missing argument for command line option \"-cores\"");
      continue;
    }
    const int32_t n = parseNumber(argv[++i]);
    if (n >= 1) {
      pool_.setCores(n);
    } else {
      out_.printf(
          "# warning: found bad argument \"%d\" for command line option \"-cores\", must be a "
          "positive number\n",
          n);
    }
  }
}

void Engine::setStartPosition() {
  setFromFen(game_.position, StartFen);
  game_.empty();
}

int Engine::run(std::FILE* in) {
  setStartPosition();
  boardPrintPending_ = true;
  LineReader reader(in);
  std::string line;
  while (!quitRequested_) {
    if (boardPrintPending_) {
      boardPrintPending_ = false;
      printBoard(out_, game_.position);
    }
    if (!xboardMode_) out_.prompt("# Your move: ");
    if (!reader.next(line)) {
      quitRequested_ = true;
      break;
    }
    if (!dispatch(line)) out_.printf("# command \"%s\" returned an error code \n", line.c_str());
    if (quitRequested_) break;
    afterCommand();
  }
  return 0;
}

void Engine::afterCommand() {
  if (pool_.anyBusy()) return;
  if (!gameOver_) gameOver_ = checkGameEnd(game_.position, out_);
  if (gameOver_) {
    engineSide_ = NoColour;
    forceMode_ = true;
  }
}

bool Engine::dispatch(std::string_view line) {
  if (line.empty()) return true;
  const Command* command = findCommand(line);
  if (!command) return true;
  const size_t space = line.find(' ');
  Args args;
  if (space == std::string_view::npos) {
    if (command->minArgs > 0) {
      out_.printf("Error (missing arguments, expected at least %u): %.*s\n", command->minArgs,
                  int(line.size()), line.data());
      return false;
    }
    args = split("", ' ');
  } else {
    args = split(line.substr(space + 1), ' ');
    if (args.size() < command->minArgs) {
      out_.printf("Error (missing arguments, expected at least %u): %.*s\n", command->minArgs,
                  int(line.size()), line.data());
      return false;
    }
    if (args.size() > command->maxArgs) {
      out_.printf("Error (too many arguments, expected at most %u): %.*s\n", command->maxArgs,
                  int(line.size()), line.data());
      return false;
    }
  }
  if (command->stopsSearch) pool_.abortSearch();
  return (this->*command->handler)(args);
}

}  // namespace varnu
