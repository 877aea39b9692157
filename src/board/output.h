// The one writer for everything the engine prints. Each call emits whole lines under a lock and
// flushes them, so lines from the search thread and the command thread never interleave.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace varnu {

class Output {
 public:
  // Writes to a C stream (standard output in the engine).
  explicit Output(std::FILE* stream) : stream_(stream) {}
  // Collects everything in memory; tests read it back with captured().
  Output() = default;

  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Writes text followed by a newline, then flushes.
  void line(std::string_view text);
  // Writes printf-formatted text; the format must end with a newline so that only whole lines
  // leave the writer.
  void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Writes a block of complete lines (each ended by a newline) in one piece.
  void block(std::string_view lines);
  // Writes text without a newline: only the prompt outside xboard mode uses this.
  void prompt(std::string_view text);

  // Lines that begin with '#' are the engine's comments: diagnostics for a human or an xboard
  // log. A front end whose protocol has no comment lines has them dropped from then on.
  void dropComments() {
    std::lock_guard<std::mutex> lock(mutex_);
    dropComments_ = true;
  }

  // Everything written so far when the writer collects in memory.
  std::string captured() const;
  void clearCaptured();

 private:
  void write(std::string_view text);
  void emit(std::string_view text);

  mutable std::mutex mutex_;
  std::FILE* stream_ = nullptr;
  std::string captured_;
  bool dropComments_ = false;
};

}  // namespace varnu
