// The pool of search workers: one per core in use, sharing one transposition table.
#pragma once

#include <cstdint>

#include "board/output.h"

namespace varnu {

class SearchPool {
 public:
  explicit SearchPool(Output& out);

  // Sets the number of workers wanted from the next rebuild on, at most the processors.
  void setCores(int32_t n);
  // True while some worker searches.
  bool anyBusy() const { return false; }
  // Stops a running search without a move being played; returns when every worker is idle.
  void abortSearch() {}

  uint32_t maxCores() const { return maxCores_; }
  uint32_t requestedCores() const { return requestedCores_; }
  uint32_t workerCount() const { return workerCount_; }

 private:
  Output& out_;
  uint32_t maxCores_;
  uint32_t requestedCores_ = 1;
  uint32_t workerCount_ = 0;
};

}  // namespace varnu
