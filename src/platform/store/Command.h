#pragma once
// Work fired on a store. It runs on the store's queue, in firing order with the events, and gets
// the state as all earlier events left it; it fires its results back on the store. A command
// that needs the main thread hops there itself (MainQueue::sync or async). A Core reference kept
// for later (for instance in a completion) must not outlive the store.
namespace ml::store {

template <class S>
class Core;

template <class S>
class Command {
 public:
  virtual ~Command() = default;
  virtual void execute(const S& state, Core<S>& core) = 0;
};

}  // namespace ml::store
