#pragma once
// ML_ASSERT_ON_QUEUE(queue): stops a debug or sanitizer build when the caller does not run on
// `queue` (a member documented "queue only" reached from another thread is a data race waiting to
// happen). ML_ASSERT_MAIN_THREAD(): the same for members documented "main thread" (the thread the
// application, or a test's main loop, marked as main). Both compile to nothing with NDEBUG, so
// the shipped build pays nothing.
#include <cassert>

#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Queue.h"

#define ML_ASSERT_ON_QUEUE(queue) assert((queue).isCurrent() && "must run on its queue")
#define ML_ASSERT_MAIN_THREAD() \
  assert(::ml::dispatch::MainQueue::isMainThread() && "must run on the main thread")
