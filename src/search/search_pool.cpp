#include "search/search_pool.h"

#include <thread>

namespace varnu {

SearchPool::SearchPool(Output& out) : out_(out) {
  const unsigned n = std::thread::hardware_concurrency();
  maxCores_ = n > 0 ? n : 1;
}

void SearchPool::setCores(int32_t n) {
  requestedCores_ = uint32_t(n) <= maxCores_ ? uint32_t(n) : maxCores_;
  out_.printf("# will now use %u cores (requested=%u, current=%u, max=%u)\n", requestedCores_,
              uint32_t(n), workerCount_, maxCores_);
}

}  // namespace varnu
