// The engine's input in a web page's Web Worker or under Node, where lines come from JavaScript:
// the page posts them to the worker, or Node reads them from standard input (see
// engine_glue.js). The engine's one thread waits for them without blocking the JavaScript event
// loop, and while it searches it gives way to the loop now and then, so that a "stop" can come
// in.
#pragma once

#include <chrono>
#include <string>

#include "uci/uci.h"

namespace varnu {

class WebInput : public InputPoll {
 public:
  // The next byte of the input, or EOF at its end: the source of the front end's LineReader.
  int nextByte();
  // The search's poll: gives way to the event loop (at most every YieldInterval while the search
  // runs, at once while it waits) and takes the first line JavaScript holds.
  bool take(std::string& line, bool waiting) override;
  bool ended() const override { return ended_; }
  // The poll for the searches, which run on the command loop's thread.
  InputPoll* searchPoll() { return this; }

 private:
  std::string line_;    // the line being read, with its line feed
  size_t at_ = 0;       // the next byte of line_
  bool ended_ = false;  // JavaScript said the input is over
  std::chrono::steady_clock::time_point lastYield_{};
};

}  // namespace varnu
