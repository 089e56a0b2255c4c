#pragma once
// The application's side of the delegate forwarder: the entry points the application calls from
// its own lifecycle handlers (finished launching, became active, resigned active, will
// terminate), each handed to every registered TLCustomApplicationDelegate in registration order.
//
// It is on unless the application's declared info sets "BeaconAppDelegateForwarderEnabled" to
// false (setEnabledFromPlistForKey before the client starts). Its shared instance is made when
// the client's entry point is first used, which queues the forwarder's trace line until a log
// level is chosen.
//
// Thread-safe (see TLDelegateForwarder).
#include <memory>
#include <string_view>

#include "beacon/core/Service/TLCustomApplicationDelegate.h"
#include "beacon/core/Service/TLDelegateForwarder.h"

namespace ml::beacon {

class TLAppDelegateForwarder final : public TLDelegateForwarder {
 public:
  static constexpr std::string_view kEnabledKey = "BeaconAppDelegateForwarderEnabled";

  // On, with no delegates. The client uses the shared instance; tests make their own.
  TLAppDelegateForwarder() = default;

  // Made once, reading the switch from an empty declared info (so: on).
  static std::shared_ptr<TLAppDelegateForwarder> sharedInstance();
  // A fresh shared instance (for tests).
  static void resetSharedInstance();

  // Delegates are held weakly, and only while the forwarder is on.
  void addDelegate(const std::shared_ptr<TLCustomApplicationDelegate>& delegate);
  void removeDelegate(const std::shared_ptr<TLCustomApplicationDelegate>& delegate);

  // --- Filled in by the application
  void applicationDidFinishLaunching();
  void applicationDidBecomeActive();
  void applicationDidResignActive();
  void applicationWillTerminate();

 private:
  template <class Call>
  void forward(Call call);
};

}  // namespace ml::beacon
