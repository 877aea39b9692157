// Mapping a file is mmap on POSIX systems and a file-mapping object on Windows.
#include "platform/mapped_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace varnu {

#ifdef _WIN32

bool MappedFile::open(const std::string& path, std::string& reason) {
  close();
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_RANDOM_ACCESS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    reason = "cannot be opened";
    return false;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size) || size.QuadPart == 0) {
    CloseHandle(file);
    reason = "is empty";
    return false;
  }
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  CloseHandle(file);
  void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
  if (!view) {
    if (mapping) CloseHandle(mapping);
    reason = "cannot be mapped";
    return false;
  }
  data_ = static_cast<const uint8_t*>(view);
  size_ = size_t(size.QuadPart);
  handle_ = mapping;
  return true;
}

void MappedFile::close() {
  if (data_) UnmapViewOfFile(data_);
  if (handle_) CloseHandle(handle_);
  data_ = nullptr;
  size_ = 0;
  handle_ = nullptr;
}

#else

bool MappedFile::open(const std::string& path, std::string& reason) {
  close();
  // Not blocking: a pipe of a table's name must not hang the engine; it is refused below.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0) {
    reason = "cannot be opened";
    return false;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) {
    ::close(fd);
    reason = "is empty or not a file";
    return false;
  }
  void* view = mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
  ::close(fd);
  if (view == MAP_FAILED) {
    reason = "cannot be mapped";
    return false;
  }
  madvise(view, size_t(st.st_size), MADV_RANDOM);
  data_ = static_cast<const uint8_t*>(view);
  size_ = size_t(st.st_size);
  return true;
}

void MappedFile::close() {
  if (data_) munmap(const_cast<uint8_t*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
}

#endif

}  // namespace varnu
