#pragma once
// The model types a keyed archive may decode into. Decoding never makes an object of a type that
// is not listed here: an archive naming any other class is refused.
//
// The core's own types are listed from the start; the analytics and crash-reporting services add
// their log types (add<T>()) before they read stored logs. Thread-safe; the registry is never
// destroyed.
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "beacon/core/TLSerializableObject.h"

namespace ml::beacon {

class TLArchiveClasses {
 public:
  using Factory = std::function<std::shared_ptr<TLSerializableObject>()>;

  // Lists T under its className(); T must be default-constructible. Adding a name twice keeps the
  // first factory.
  template <class T>
  static void add() {
    add(T::kClassName, [] { return std::make_shared<T>(); });
  }
  static void add(std::string_view className, Factory factory);
  // A plain-initialised object of the class, or null for a class that is not listed.
  static std::shared_ptr<TLSerializableObject> make(std::string_view className);
  static bool contains(std::string_view className);
};

}  // namespace ml::beacon
