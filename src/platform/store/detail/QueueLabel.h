#pragma once
// Names for the stores' worker threads ("ml.store.1", "ml.store.2", ...), so a thread list tells
// the stores apart.
#include <string>

namespace ml::store::detail {

std::string nextQueueLabel();

}  // namespace ml::store::detail
