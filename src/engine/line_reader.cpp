#include "engine/line_reader.h"

namespace varnu {

bool LineReader::next(std::string& line) {
  if (!unread_.empty()) {
    line = std::move(unread_.front());
    unread_.pop_front();
    cut_ = false;
    return true;
  }
  line.clear();
  int c = EOF;
  bool ended = false;
  while (line.size() < maxLine_ && (c = nextByte()) != EOF) {
    line.push_back(char(c));
    if (c == '\n') {
      ended = true;
      break;
    }
  }
  if (line.empty()) {
    cut_ = false;
    return false;
  }
  cut_ = !ended && c != EOF;
  // The text ends at a NUL byte, as a C string would.
  if (const size_t nul = line.find('\0'); nul != std::string::npos) line.resize(nul);
  if (!line.empty() && line.back() == '\n') line.pop_back();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return true;
}

void LineReader::skipRestOfLine() {
  if (!cut_) return;
  for (int c = nextByte(); c != EOF && c != '\n'; c = nextByte()) {
  }
  cut_ = false;
}

void LineReader::unread(const std::vector<std::string>& lines) {
  unread_.insert(unread_.begin(), lines.begin(), lines.end());
}

}  // namespace varnu
