#include "beacon/core/Channel/TLChannelEnvironment.h"

#include "beacon/core/Context/TLAuthTokenContext.h"
#include "beacon/core/Context/TLDeviceTracker.h"
#include "beacon/core/TLUserDefaults.h"
#include "platform/dispatch/Clock.h"

namespace ml::beacon {

TLChannelEnvironment TLChannelEnvironment::shared() {
  return {&dispatch::Clock::system(), &TLUserDefaults::shared(), TLAuthTokenContext::sharedInstance(),
          TLDeviceTracker::sharedInstance()};
}

}  // namespace ml::beacon
