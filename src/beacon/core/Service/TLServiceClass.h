#pragma once
// A service class as TLBeacon::start takes it: the class's name (for log lines) and the way to
// its shared instance. A value; an empty one stands for something that is not a service.
#include <functional>
#include <memory>
#include <string>

#include "beacon/core/Service/TLServiceCommon.h"

namespace ml::beacon {

struct TLServiceClass {
  std::string className;
  std::function<std::shared_ptr<TLServiceCommon>()> sharedInstance;

  // The class of a service type S with `static constexpr std::string_view kClassName` and
  // `static std::shared_ptr<S> sharedInstance()`.
  template <class S>
  static TLServiceClass of() {
    return {std::string(S::kClassName), [] { return std::shared_ptr<TLServiceCommon>(S::sharedInstance()); }};
  }
};

}  // namespace ml::beacon
