#pragma once
// Storage for an object that lives until the process is gone and is never destroyed. The crash
// path reads process-wide objects (the handler context, the image list, the handler lists) up to
// the last instruction of the process: a thread can fault while exit runs the static destructors,
// or after main returned, and a destroyed object read then faults again inside the handler, which
// leaves no report. Held here, the object is constructed once (in place, by the holder's
// constructor) and its destructor never runs; the holder itself is trivially destructible, so a
// namespace-scope holder registers nothing to run at exit.
#include <new>
#include <type_traits>
#include <utility>

namespace ml::crash {

template <typename T>
class NeverDestroyed {
 public:
  template <typename... Args>
  explicit NeverDestroyed(Args&&... args) {
    ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
  }
  NeverDestroyed(const NeverDestroyed&) = delete;
  NeverDestroyed& operator=(const NeverDestroyed&) = delete;

  T* get() { return std::launder(reinterpret_cast<T*>(storage_)); }
  const T* get() const { return std::launder(reinterpret_cast<const T*>(storage_)); }
  T& operator*() { return *get(); }
  T* operator->() { return get(); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace ml::crash
