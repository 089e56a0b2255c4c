#pragma once
// The one operation queue every find window's searches run on, made on first use (thread-safe)
// with the default settings, and torn down before the global pool it runs on.
#include "platform/dispatch/OperationQueue.h"

namespace ml::find {

dispatch::OperationQueue& searchQueue();

}  // namespace ml::find
