#include "find/SearchQueue.h"

namespace ml::find {

dispatch::OperationQueue& searchQueue() {
  // Constructed after the global pool (its default argument makes the pool first), so it is
  // destroyed, cancelling and waiting for its searches, before the pool goes.
  static dispatch::OperationQueue queue;
  return queue;
}

}  // namespace ml::find
