#include "platform/store/detail/QueueLabel.h"

#include <atomic>

namespace ml::store::detail {

std::string nextQueueLabel() {
  static std::atomic<unsigned> counter{0};
  return "ml.store." + std::to_string(++counter);
}

}  // namespace ml::store::detail
