// The engine's input in the threaded WebAssembly build, where the command loop has a thread of its
// own (Emscripten's PROXY_TO_PTHREAD) and the search pool starts its workers as it does natively.
// The JavaScript thread that holds the module (the page's Web Worker, or Node's main thread) puts
// each line it is given into this queue (see threads_glue.js); the command loop blocks until one
// comes, as it would on standard input, so nothing needs to give way to the event loop.
#pragma once

#include <string>

#include "uci/uci.h"

namespace varnu {

class LineQueue {
 public:
  // The next byte of the input, or EOF at its end: the source of the front end's LineReader.
  // Waits for a line when none is queued.
  int nextByte();
  // The poll for a search on the command loop's thread: none, since searches have threads.
  InputPoll* searchPoll() { return nullptr; }

 private:
  std::string line_;  // the line being read, with its line feed
  size_t at_ = 0;     // the next byte of line_
};

}  // namespace varnu

// The functions JavaScript calls, on its own thread, to hand lines over.
extern "C" {
// Queues one input line (UTF-8, without its line feed).
void varnu_push_line(const char* line);
// Says that the input is over: the command loop reads EOF once the queue is empty.
void varnu_end_input();
}
