#pragma once
// Holds an object without keeping it alive: value() gives the object while someone else still
// owns it, and null once the last owner let go.
#include <memory>

namespace ml::util {

template <class T>
class WeakReference {
 public:
  WeakReference() = default;
  explicit WeakReference(const std::shared_ptr<T>& value) : value_(value) {}

  std::shared_ptr<T> value() const { return value_.lock(); }

 private:
  std::weak_ptr<T> value_;
};

}  // namespace ml::util
