#include "web/web_input.h"

#include <emscripten.h>

#include <cstdio>
#include <vector>

namespace varnu {

namespace {

// The input queue lives in JavaScript as Module.varnuInput (engine_glue.js). The functions'
// bodies are JavaScript, which clang-format would mangle.
// clang-format off

// The byte length of the first line in the queue; -1 when the queue is empty, -2 when it is
// empty and the input is over.
EM_JS(int, webLineLength, (), {
  const input = Module.varnuInput;
  if (input.lines.length > 0) return lengthBytesUTF8(input.lines[0]);
  return input.ended ? -2 : -1;
});

// Copies the first line into buffer (room for size bytes with the terminating NUL) and takes it
// off the queue.
EM_JS(void, webTakeLine, (char* buffer, int size), {
  stringToUTF8(Module.varnuInput.lines.shift(), buffer, size);
});

// Returns when a line has come or the input is over, letting the event loop run meanwhile.
EM_ASYNC_JS(void, webAwaitLine, (), {
  await Module.varnuInput.whenReady();
});

// Gives way to the event loop for a moment, sleeping milliseconds first, so that posted lines are
// delivered.
EM_ASYNC_JS(void, webYield, (int milliseconds), {
  await Module.varnuInput.yieldFor(milliseconds);
});
// clang-format on

// The first line in JavaScript's queue, moved out; false when there is none.
bool takeWebLine(std::string& line, bool& ended) {
  const int length = webLineLength();
  ended = length == -2;
  if (length < 0) return false;
  std::vector<char> buffer(size_t(length) + 1);
  webTakeLine(buffer.data(), length + 1);
  line.assign(buffer.data(), size_t(length));
  return true;
}

// A search gives way to the event loop this often: a "stop" waits at most about this long, and
// the search loses a small share of its time.
constexpr auto YieldInterval = std::chrono::milliseconds(20);

}  // namespace

int WebInput::nextByte() {
  while (at_ >= line_.size()) {
    std::string line;
    if (takeWebLine(line, ended_)) {
      line_ = line + "\n";
      at_ = 0;
      continue;
    }
    if (ended_) return EOF;
    webAwaitLine();
  }
  return static_cast<unsigned char>(line_[at_++]);
}

bool WebInput::take(std::string& line, bool waiting) {
  const auto now = std::chrono::steady_clock::now();
  if (waiting || now - lastYield_ >= YieldInterval) {
    webYield(waiting ? 5 : 0);
    lastYield_ = std::chrono::steady_clock::now();
  }
  return takeWebLine(line, ended_);
}

}  // namespace varnu
