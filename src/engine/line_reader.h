// The one reader of the engine's input: a line at a time, with a length limit.
#pragma once

#include <cstddef>
#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace varnu {

class LineReader {
 public:
  // The xboard command loop reads at most 1023 characters a line; the rest of a longer line is
  // read as the next line.
  static constexpr size_t MaxLine = 1023;

  explicit LineReader(std::FILE* in, size_t maxLine = MaxLine) : in_(in), maxLine_(maxLine) {}
  // Reads bytes from get, which returns the next one or EOF at the end of input: a source that
  // is not a file, such as the lines a web page posts to the engine.
  explicit LineReader(std::function<int()> get, size_t maxLine = MaxLine)
      : in_(nullptr), get_(std::move(get)), maxLine_(maxLine) {}

  // Reads the next line with its line feed, one carriage return and trailing blanks stripped.
  // False at end of input.
  bool next(std::string& line);
  // True when the last line read was cut at the length limit before its line feed.
  bool cut() const { return cut_; }
  // Reads and forgets the rest of a line that was cut.
  void skipRestOfLine();
  // Gives lines already read back, to be read again, in order, before the rest of the input.
  void unread(const std::vector<std::string>& lines);

 private:
  int nextByte() { return in_ ? std::getc(in_) : get_(); }

  std::FILE* in_;
  std::function<int()> get_;
  size_t maxLine_;
  bool cut_ = false;
  std::deque<std::string> unread_;
};

}  // namespace varnu
