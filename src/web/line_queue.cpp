#include "web/line_queue.h"

#include <emscripten.h>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>

namespace varnu {

namespace {

// One queue for the one input there is; JavaScript's thread fills it, the command loop empties it.
struct Lines {
  std::mutex mutex;
  std::condition_variable arrived;
  std::deque<std::string> queued;
  bool ended = false;
};

Lines& lines() {
  static Lines instance;
  return instance;
}

}  // namespace

int LineQueue::nextByte() {
  if (at_ >= line_.size()) {
    Lines& input = lines();
    std::unique_lock<std::mutex> lock(input.mutex);
    input.arrived.wait(lock, [&] { return !input.queued.empty() || input.ended; });
    if (input.queued.empty()) return EOF;
    line_ = std::move(input.queued.front()) + "\n";
    input.queued.pop_front();
    at_ = 0;
  }
  return static_cast<unsigned char>(line_[at_++]);
}

}  // namespace varnu

// JavaScript's thread holds the lock only to move a line in: Emscripten's main thread spins rather
// than sleeps on a lock, and the command loop never keeps it long.
extern "C" EMSCRIPTEN_KEEPALIVE void varnu_push_line(const char* line) {
  varnu::Lines& input = varnu::lines();
  {
    std::lock_guard<std::mutex> lock(input.mutex);
    input.queued.emplace_back(line);
  }
  input.arrived.notify_one();
}

extern "C" EMSCRIPTEN_KEEPALIVE void varnu_end_input() {
  varnu::Lines& input = varnu::lines();
  {
    std::lock_guard<std::mutex> lock(input.mutex);
    input.ended = true;
  }
  input.arrived.notify_one();
}
