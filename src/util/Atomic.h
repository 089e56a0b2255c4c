#pragma once
// A value, possibly absent, guarded by a lock. Each member is one critical section; the lock is
// never held across a call out of the object. Reading value() and then calling setValue() is
// two sections: a read-modify-write that must be atomic uses compare(), incrementAndGet() or
// decrementAndGet().
#include <concepts>
#include <limits>
#include <mutex>
#include <optional>
#include <utility>

namespace ml::util {

template <class T>
class Atomic {
 public:
  explicit Atomic(std::optional<T> value = std::nullopt) : value_(std::move(value)) {}
  Atomic(const Atomic&) = delete;
  Atomic& operator=(const Atomic&) = delete;

  std::optional<T> value() const {
    std::lock_guard lock(mutex_);
    return value_;
  }

  void setValue(std::optional<T> value) {
    std::lock_guard lock(mutex_);
    value_ = std::move(value);
  }

  // Stores `andSetTo` when the current value equals `with` (two absent values are equal; an
  // absent and a present one are not). Returns whether it stored.
  bool compare(const std::optional<T>& with, std::optional<T> andSetTo)
    requires std::equality_comparable<T>
  {
    std::lock_guard lock(mutex_);
    if (value_ != with) return false;
    value_ = std::move(andSetTo);
    return true;
  }

  // Adds or subtracts one and returns the new value. An absent value counts as 0. At the ends of
  // T's range the value stays put rather than wrap (signed overflow would be undefined).
  T incrementAndGet()
    requires std::integral<T> && (!std::same_as<T, bool>)
  {
    std::lock_guard lock(mutex_);
    T current = value_.value_or(T{0});
    if (current < std::numeric_limits<T>::max()) ++current;
    value_ = current;
    return current;
  }

  T decrementAndGet()
    requires std::integral<T> && (!std::same_as<T, bool>)
  {
    std::lock_guard lock(mutex_);
    T current = value_.value_or(T{0});
    if (current > std::numeric_limits<T>::min()) --current;
    value_ = current;
    return current;
  }

 private:
  mutable std::mutex mutex_;
  std::optional<T> value_;
};

}  // namespace ml::util
