#pragma once
// Sees every event a store handles, on the store's queue, before the state reacts to it: the
// state passed is the one the event is about to change. It may fire events (on this store or
// others) and may wait for the main thread.
#include "platform/store/Event.h"

namespace ml::store {

template <class S>
class Middleware {
 public:
  virtual ~Middleware() = default;
  virtual void process(const Event& event, const S& state) = 0;
};

}  // namespace ml::store
