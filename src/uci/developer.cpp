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

namespace {

// One colour's columns of a row: its middle-game and endgame sums and their blend.
std::string sideJson(int mg, int eg, int phase) {
  return "{\"mg\":" + std::to_string(mg) + ",\"eg\":" + std::to_string(eg) +
         ",\"value\":" + std::to_string(blend(mg, eg, phase)) + "}";
}

// The evaluation as one JSON object, every number in centipawns from White's view. A term's
// value is White's part minus Black's, blended by the phase, as the table's last column shows
// it. The total is not the plain sum of the terms: the positional part is clamped, a drawish
// ending scales the whole and each blend rounds, so "adjust" carries the difference and the
// terms plus it give the total exactly.
std::string evalJson(const EvalBreakdown& breakdown, int total, bool mating) {
  const int phase = breakdown.phase;
  std::string json = "{\"phase\":" + std::to_string(phase) +
                     ",\"phaseMax\":" + std::to_string(MaxPhase) +
                     ",\"scale\":" + std::to_string(breakdown.scale) +
                     ",\"mating\":" + (mating ? "true" : "false") + ",\"terms\":[";
  int sum = 0;
  for (int row : EvalShownRows) {
    const int16_t(&columns)[4] = breakdown.rows[row];
    const int value = blend(columns[0] - columns[2], columns[1] - columns[3], phase);
    sum += value;
    if (json.back() == '}') json += ',';
    json += std::string("{\"name\":\"") + evalRowName(row) +
            "\",\"white\":" + sideJson(columns[0], columns[1], phase) +
            ",\"black\":" + sideJson(columns[2], columns[3], phase) +
            ",\"value\":" + std::to_string(value) + "}";
  }
  return json + "],\"adjust\":" + std::to_string(total - sum) +
         ",\"total\":" + std::to_string(total) + "}";
}

}  // namespace

void UciFrontEnd::eval(const Words& words) {
  if (!awaitSearchFor("eval")) return;
  if (words.size() > 1 && words[1] == "json") {
    EvalBreakdown breakdown;
    bool mating = false;
    const int total = engine_.evalBreakdown(breakdown, mating);
    info("eval " + evalJson(breakdown, total, mating));
  } else {
    out_.block(engine_.evalTable());
  }
}

void UciFrontEnd::display() {
  if (awaitSearchFor("d")) out_.block(engine_.boardText("") + "Fen: " + engine_.fen() + "\n");
}

}  // namespace varnu
