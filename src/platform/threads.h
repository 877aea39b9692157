// Whether the engine can start threads of its own, and how many processors it may use. Every
// system it runs on has std::thread with its mutexes and condition variables; a WebAssembly build
// without Emscripten's thread support has the library too, but no thread can start there.
#pragma once

#include <thread>

namespace varnu {

#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
inline constexpr bool CanStartThreads = false;
#else
inline constexpr bool CanStartThreads = true;
#endif

// The processors the engine may use, at least one: std::thread asks the system (MinGW-w64's posix
// threads ask Windows for those the process may use); one where no thread can start.
inline unsigned processorCount() {
  const unsigned n = CanStartThreads ? std::thread::hardware_concurrency() : 1;
  return n > 0 ? n : 1;
}

}  // namespace varnu
