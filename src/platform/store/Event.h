#pragma once
// Something that happened, fired on a store. Events are plain value types deriving from Event;
// a reducer picks out the ones it handles with as<T>().
namespace ml::store {

struct Event {
  virtual ~Event() = default;

  // This event as a T, or null when it is not one.
  template <class T>
  const T* as() const {
    return dynamic_cast<const T*>(this);
  }
};

}  // namespace ml::store
