#pragma once
// Storage for a process-wide object of the telemetry client that is built on first use and never
// destroyed. The client's threads (the channel's queue, the ingestion's, the processing pool) may
// still log, decode or look up a shared instance while the program's static objects are torn
// down at exit; an object held here outlives all of them. The holder's own destructor is
// trivial, so a function-local `static TLNeverDestroyed<T>` registers nothing to run at exit.
#include <memory>
#include <mutex>
#include <new>
#include <utility>

namespace ml::beacon {

template <class T>
class TLNeverDestroyed {
 public:
  template <class... Args>
  explicit TLNeverDestroyed(Args&&... args) {
    ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
  }
  TLNeverDestroyed(const TLNeverDestroyed&) = delete;
  TLNeverDestroyed& operator=(const TLNeverDestroyed&) = delete;

  T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }
  T* operator->() { return &get(); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

// The slot of a service's shared instance (the client, a service, the forwarder): the instance and
// the lock that guards it, one per type, never destroyed, since the client's threads may ask for
// it until the client's shutdown has stopped them.
template <class T>
struct TLSharedInstanceSlot {
  std::mutex lock;
  std::shared_ptr<T> instance;

  static TLSharedInstanceSlot& get() {
    static TLNeverDestroyed<TLSharedInstanceSlot> holder;
    return holder.get();
  }
};

}  // namespace ml::beacon
