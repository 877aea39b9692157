#include "board/output.h"

#include <cstdarg>

namespace varnu {

void Output::write(std::string_view text) {
  if (!dropComments_) {
    emit(text);
    return;
  }
  std::string kept;
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find('\n', start);
    const size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (text[start] != '#') kept.append(text.substr(start, next - start));
    start = next;
  }
  if (!kept.empty()) emit(kept);
}

void Output::emit(std::string_view text) {
  if (stream_) {
    std::fwrite(text.data(), 1, text.size(), stream_);
    std::fflush(stream_);
  } else {
    captured_.append(text);
  }
}

void Output::line(std::string_view text) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string whole;
  whole.reserve(text.size() + 1);
  whole.append(text);
  whole.push_back('\n');
  write(whole);
}

void Output::printf(const char* format, ...) {
  char small[512];
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  int n = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  std::string text;
  if (n < 0) {
    n = 0;
  } else if (static_cast<size_t>(n) < sizeof small) {
    text.assign(small, static_cast<size_t>(n));
  } else {
    text.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    text.resize(static_cast<size_t>(n));
  }
  va_end(again);
  std::lock_guard<std::mutex> lock(mutex_);
  write(text);
}

void Output::block(std::string_view lines) {
  std::lock_guard<std::mutex> lock(mutex_);
  write(lines);
}

void Output::prompt(std::string_view text) {
  std::lock_guard<std::mutex> lock(mutex_);
  write(text);
}

std::string Output::captured() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return captured_;
}

void Output::clearCaptured() {
  std::lock_guard<std::mutex> lock(mutex_);
  captured_.clear();
}

}  // namespace varnu
