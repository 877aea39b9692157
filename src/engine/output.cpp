#include "engine/output.h"

#include <chrono>
#include <cstdarg>

namespace varnu {

namespace {

int64_t steadyMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

Output::~Output() {
  if (log_) std::fclose(log_);
}

bool Output::openLog(const std::string& path) {
  std::FILE* file = nullptr;
  if (!path.empty()) {
    file = std::fopen(path.c_str(), "ab");
    if (!file) return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (log_) std::fclose(log_);
  log_ = file;
  logStart_ = steadyMilliseconds();
  return true;
}

void Output::logInput(std::string_view line) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!log_) return;
  std::string text(line);
  text.push_back('\n');
  logLines(text, '>');
}

void Output::logNote(std::string_view line) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!log_) return;
  std::string text(line);
  text.push_back('\n');
  logLines(text, '=');
}

void Output::logLines(std::string_view text, char mark) {
  const int64_t ms = steadyMilliseconds() - logStart_;
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find('\n', start);
    const size_t next = end == std::string_view::npos ? text.size() : end + 1;
    const std::string_view line = text.substr(start, next - start);
    std::fprintf(log_, "%lld.%03lld %c %.*s", static_cast<long long>(ms / 1000),
                 static_cast<long long>(ms % 1000), mark, int(line.size()), line.data());
    if (line.back() != '\n') std::fputc('\n', log_);
    start = next;
  }
  std::fflush(log_);
}

void Output::dropComments() {
  std::lock_guard<std::mutex> lock(mutex_);
  dropComments_ = true;
}

void Output::write(std::string_view text) {
  if (!dropComments_) {
    emit(text);
    return;
  }
  // A comment may come in pieces (the prompt has no line feed): the line's first piece decides.
  std::string kept;
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find('\n', start);
    const size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (atLineStart_) droppingLine_ = text[start] == '#';
    if (!droppingLine_) kept.append(text.substr(start, next - start));
    atLineStart_ = end != std::string_view::npos;
    start = next;
  }
  emit(kept);
}

void Output::emit(std::string_view text) {
  if (text.empty()) return;
  if (log_) logLines(text, '<');
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
