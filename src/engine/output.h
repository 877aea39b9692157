// The one writer for everything the engine prints. Each call emits whole lines under a lock and
// flushes them, so lines from the search thread and the command thread never interleave.
#pragma once

#include <cstdint>
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

  ~Output();
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

  // From now on drops the lines that begin with '#', the engine's comments (diagnostics for a
  // person or an xboard log), for a GUI that reads them as something else.
  void dropComments();

  // The debug log: from now on every line written, and every line a front end reads
  // (logInput), is appended to the file at path, after the seconds since the log was opened and
  // a mark of its direction: "<" for a line written, ">" for one read. An empty path ends the
  // log. False, with the log as it was, when the file cannot be opened.
  bool openLog(const std::string& path);
  void logInput(std::string_view line);
  // Writes a line to the debug log alone, marked "=": what the engine tells a person reading the
  // log and never the GUI.
  void logNote(std::string_view line);

  // Everything written so far when the writer collects in memory.
  std::string captured() const;
  void clearCaptured();

 private:
  // Writes the text, less the comments where they are dropped; emit writes it as it is.
  void write(std::string_view text);
  void emit(std::string_view text);

  // Appends the lines of text to the log with a direction mark. Needs mutex_.
  void logLines(std::string_view text, char mark);

  mutable std::mutex mutex_;
  std::FILE* stream_ = nullptr;
  std::FILE* log_ = nullptr;
  int64_t logStart_ = 0;  // milliseconds of the steady clock when the log was opened
  std::string captured_;
  bool dropComments_ = false;
  bool atLineStart_ = true;    // where comments are dropped: whether the last text ended a line
  bool droppingLine_ = false;  // and whether the line it is in is a comment
};

}  // namespace varnu
