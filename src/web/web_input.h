// The engine's input in a web page's Web Worker or under Node, where lines come from JavaScript:
// the page posts them to the worker, or Node reads them from standard input (see
// engine_glue.js). The engine's one thread waits for them without blocking the JavaScript event
// loop, and its search gives way to the loop now and then, so that a "stop" can come in.
#pragma once

#include <chrono>
#include <deque>
#include <string>

#include "uci/uci.h"

namespace varnu {

class WebInput {
 public:
  // The next byte of the input, or EOF at its end: the source of the front end's LineReader.
  int nextByte();
  // The search pool's input poll: lets JavaScript deliver the lines posted meanwhile, runs those
  // the search needs at once and keeps the rest for after it. With waiting, the search has
  // nothing to do until a command comes, and the poll sleeps a little.
  void poll(UciEngine& uci, bool waiting);

 private:
  // Takes the lines JavaScript holds: each goes to the search first, and what it leaves is
  // queued.
  void takeLines(UciEngine& uci);

  std::deque<std::string> queued_;  // lines held back while a search ran
  std::string line_;                // the line being read, with its line feed
  size_t at_ = 0;                   // the next byte of line_
  bool ended_ = false;              // JavaScript said the input is over
  bool endHandled_ = false;         // and the running search was told
  std::chrono::steady_clock::time_point lastYield_{};
};

}  // namespace varnu
