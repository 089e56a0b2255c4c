#pragma once
// ML_ASSERT_ON_QUEUE(queue): stops a debug or sanitizer build when the caller does not run on
// `queue` (a member documented "queue only" reached from another thread is a data race waiting to
// happen). Compiles to nothing with NDEBUG, so the shipped build pays nothing.
#include <cassert>

#include "platform/dispatch/Queue.h"

#define ML_ASSERT_ON_QUEUE(queue) assert((queue).isCurrent() && "must run on its queue")
