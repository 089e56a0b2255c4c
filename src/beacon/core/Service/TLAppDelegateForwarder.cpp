#include "beacon/core/Service/TLAppDelegateForwarder.h"

#include <mutex>

#include "beacon/core/TLNeverDestroyed.h"

namespace ml::beacon {

namespace {

auto& shared() { return TLSharedInstanceSlot<TLAppDelegateForwarder>::get(); }

}  // namespace

std::shared_ptr<TLAppDelegateForwarder> TLAppDelegateForwarder::sharedInstance() {
  auto& holder = shared();
  std::lock_guard guard(holder.lock);
  if (!holder.instance) {
    holder.instance = std::make_shared<TLAppDelegateForwarder>();
    holder.instance->setEnabledFromPlistForKey(kEnabledKey, {});
  }
  return holder.instance;
}

void TLAppDelegateForwarder::resetSharedInstance() {
  auto& holder = shared();
  std::lock_guard guard(holder.lock);
  holder.instance.reset();
}

void TLAppDelegateForwarder::addDelegate(const std::shared_ptr<TLCustomApplicationDelegate>& delegate) {
  addDelegateObject(delegate);
}

void TLAppDelegateForwarder::removeDelegate(const std::shared_ptr<TLCustomApplicationDelegate>& delegate) {
  removeDelegateObject(delegate);
}

template <class Call>
void TLAppDelegateForwarder::forward(Call call) {
  // Every stored object was added through addDelegate, as a TLCustomApplicationDelegate.
  for (const auto& object : delegateSnapshot()) call(*static_cast<TLCustomApplicationDelegate*>(object.get()));
}

void TLAppDelegateForwarder::applicationDidFinishLaunching() {
  forward([](TLCustomApplicationDelegate& delegate) { delegate.applicationDidFinishLaunching(); });
}

void TLAppDelegateForwarder::applicationDidBecomeActive() {
  forward([](TLCustomApplicationDelegate& delegate) { delegate.applicationDidBecomeActive(); });
}

void TLAppDelegateForwarder::applicationDidResignActive() {
  forward([](TLCustomApplicationDelegate& delegate) { delegate.applicationDidResignActive(); });
}

void TLAppDelegateForwarder::applicationWillTerminate() {
  forward([](TLCustomApplicationDelegate& delegate) { delegate.applicationWillTerminate(); });
}

}  // namespace ml::beacon
