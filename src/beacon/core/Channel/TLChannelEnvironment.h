#pragma once
// What the channel units of a group share besides the store and the ingestion: the clock of
// their flush timers, the settings store (persisted flush start dates), the auth-token context
// whose validity windows split the stored logs into batches, and the device tracker that
// completes logs without a device. Held by value; every member outlives the units.
#include <memory>

namespace ml::dispatch {
class Clock;
}

namespace ml::beacon {

class TLAuthTokenContext;
class TLDeviceTracker;
class TLUserDefaults;

struct TLChannelEnvironment {
  dispatch::Clock* clock = nullptr;
  TLUserDefaults* settings = nullptr;
  std::shared_ptr<TLAuthTokenContext> authTokenContext;
  std::shared_ptr<TLDeviceTracker> deviceTracker;

  // The system clock, the shared settings store and the shared contexts.
  static TLChannelEnvironment shared();
};

}  // namespace ml::beacon
