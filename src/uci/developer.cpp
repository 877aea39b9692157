// The developer commands of the UCI front end: "go perft", "eval" and "d".
#include "board/number.h"
#include "uci/uci.h"

namespace varnu {

bool UciFrontEnd::awaitSearchFor(std::string_view command) {
  if (!engine_.positionValid()) {
    info(std::string(command) + " refused: no valid position");
    return false;
  }
  if (!searching()) return true;
  if (engine_.waitsForStop()) {
    info(std::string(command) + " refused while searching: send stop first");
    return false;
  }
  // The search ends by itself and sends its bestmove.
  engine_.waitIdle();
  return true;
}

void UciFrontEnd::perft(const Words& words) {
  const int maxDepth = engine_.maxPerftDepth();
  const int32_t depth = words.size() == 3 ? parseNumber(words[2]) : 0;
  if (depth < 1 || depth > maxDepth) {
    info("go perft needs a depth from 1 to " + std::to_string(maxDepth));
    return;
  }
  if (!awaitSearchFor("go perft")) return;
  const Engine::DivideLine each = [&](const std::string& move, uint64_t leaves) {
    out_.line(move + " " + std::to_string(leaves));
  };
  out_.block(perftTotalsText(engine_.perft(depth, &each), ""));
}

void UciFrontEnd::eval() {
  if (awaitSearchFor("eval")) out_.block(engine_.evalTable());
}

void UciFrontEnd::display() {
  if (awaitSearchFor("d")) out_.block(engine_.boardText("") + "Fen: " + engine_.fen() + "\n");
}

}  // namespace varnu
