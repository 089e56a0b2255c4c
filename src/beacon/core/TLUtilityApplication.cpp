#include "beacon/core/TLUtilityApplication.h"

#include <mutex>

#include "platform/dispatch/MainQueue.h"

namespace ml::beacon {

namespace {
struct HiddenQuery {
  std::mutex lock;
  std::function<bool()> query;
};
HiddenQuery& hiddenQuery() {
  static HiddenQuery instance;
  return instance;
}
}  // namespace

int TLUtilityApplication::applicationState() {
  if (!dispatch::MainQueue::isMainThread()) return kUnknown;
  std::function<bool()> query;
  {
    std::lock_guard guard(hiddenQuery().lock);
    query = hiddenQuery().query;
  }
  return query && query() ? kBackground : kActive;
}

void TLUtilityApplication::installHiddenQuery(std::function<bool()> isHidden) {
  std::lock_guard guard(hiddenQuery().lock);
  hiddenQuery().query = std::move(isHidden);
}

}  // namespace ml::beacon
