#include "beacon/core/TLArchiveClasses.h"

#include <map>
#include <mutex>

#include "beacon/core/TLAbstractLog.h"
#include "beacon/core/TLCustomPropertiesLog.h"
#include "beacon/core/TLDevice.h"
#include "beacon/core/TLLogWithProperties.h"
#include "beacon/core/TLNeverDestroyed.h"
#include "beacon/core/TLStartServiceLog.h"
#include "beacon/core/TLTypedProperty.h"
#include "beacon/core/TLWrapperSdk.h"

namespace ml::beacon {

namespace {

struct Registry {
  std::mutex lock;
  std::map<std::string, TLArchiveClasses::Factory, std::less<>> factories;

  template <class T>
  void put() {
    factories.emplace(std::string(T::kClassName), [] { return std::make_shared<T>(); });
  }

  Registry() {
    put<TLWrapperSdk>();
    put<TLDevice>();
    put<TLAbstractLog>();
    put<TLLogWithProperties>();
    put<TLStartServiceLog>();
    put<TLCustomPropertiesLog>();
    put<TLStringTypedProperty>();
    put<TLLongTypedProperty>();
    put<TLDoubleTypedProperty>();
    put<TLBooleanTypedProperty>();
    put<TLDateTimeTypedProperty>();
  }
};

// Never destroyed: the channel's queue may decode stored logs while static objects are torn down
// at exit.
Registry& registry() {
  static TLNeverDestroyed<Registry> instance;
  return instance.get();
}

}  // namespace

void TLArchiveClasses::add(std::string_view className, Factory factory) {
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  r.factories.emplace(std::string(className), std::move(factory));
}

std::shared_ptr<TLSerializableObject> TLArchiveClasses::make(std::string_view className) {
  Registry& r = registry();
  Factory factory;
  {
    std::lock_guard guard(r.lock);
    auto it = r.factories.find(className);
    if (it == r.factories.end()) return nullptr;
    factory = it->second;
  }
  return factory();
}

bool TLArchiveClasses::contains(std::string_view className) {
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  return r.factories.find(className) != r.factories.end();
}

}  // namespace ml::beacon
