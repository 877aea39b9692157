// A file mapped read-only into memory: the table files are far larger than the parts a search
// reads, so the system pages in only what is touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace varnu {

// What separates the folders of a list of paths, as the system's own PATH does.
#ifdef _WIN32
inline constexpr char PathListSeparator = ';';
#else
inline constexpr char PathListSeparator = ':';
#endif
// Longer paths than any file system takes are refused before the system is asked.
inline constexpr size_t MaxPathLength = 4095;

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile() { close(); }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Maps the whole file; false, with a reason, when it cannot be opened, is empty or cannot be
  // mapped.
  bool open(const std::string& path, std::string& reason);
  void close();

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  [[maybe_unused]] void* handle_ = nullptr;  // the mapping object on Windows
};

}  // namespace varnu
