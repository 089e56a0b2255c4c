#include "beacon/core/Context/TLDeviceTracker.h"

#include <algorithm>

#include "beacon/core/Context/TLHistoryStore.h"
#include "beacon/core/Context/TLMainScreen.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLNeverDestroyed.h"
#include "beacon/core/TLUserDefaults.h"
#include "beacon/core/TLUtility.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/AppIdentity.h"

namespace ml::beacon {

namespace {

// The inputs every tracker shares.
struct ProcessValues {
  std::mutex lock;
  std::shared_ptr<const TLWrapperSdk> wrapperSdk;
  std::optional<std::string> countryCode;
  bool refreshNeeded = true;
};

ProcessValues& processValues() {
  static TLNeverDestroyed<ProcessValues> values;
  return values.get();
}

struct SharedTracker {
  std::mutex lock;
  std::shared_ptr<TLDeviceTracker> instance;
};

SharedTracker& shared() {
  static TLNeverDestroyed<SharedTracker> holder;
  return holder.get();
}

bool earlier(const std::shared_ptr<TLDeviceHistoryInfo>& record, TLDeviceTracker::Date date) {
  // Records without a time (never written by us) sort first.
  return !record->timestamp || *record->timestamp < date;
}

}  // namespace

std::shared_ptr<TLDeviceTracker> TLDeviceTracker::sharedInstance() {
  auto& holder = shared();
  std::lock_guard guard(holder.lock);
  if (!holder.instance) holder.instance = std::make_shared<TLDeviceTracker>(TLUserDefaults::shared(), dispatch::Clock::system());
  return holder.instance;
}

void TLDeviceTracker::resetSharedInstance() {
  {
    auto& holder = shared();
    std::lock_guard guard(holder.lock);
    holder.instance.reset();
  }
  auto& values = processValues();
  std::lock_guard guard(values.lock);
  values.wrapperSdk.reset();
  values.countryCode.reset();
  values.refreshNeeded = true;
}

void TLDeviceTracker::refreshDeviceNextTime() {
  auto& values = processValues();
  std::lock_guard guard(values.lock);
  values.refreshNeeded = true;
}

TLDeviceTracker::TLDeviceTracker(TLUserDefaults& settings, dispatch::Clock& clock, TLSystemInfo systemInfo)
    : settings_(settings), clock_(clock), systemInfo_(std::move(systemInfo)) {
  TLHistoryInfo::registerArchiveClasses();
  history_ = tlLoadHistory<TLDeviceHistoryInfo>(settings_, kHistoryKey).value_or(decltype(history_){});
  // A stored history is outside data: keep the order and the limit this tracker relies on.
  std::stable_sort(history_.begin(), history_.end(), [](const auto& a, const auto& b) {
    return a->timestamp && b->timestamp ? *a->timestamp < *b->timestamp : !a->timestamp && b->timestamp;
  });
  if (history_.size() > kMaxHistoryCount) {
    history_.erase(history_.begin(), history_.end() - static_cast<std::ptrdiff_t>(kMaxHistoryCount));
  }
}

std::shared_ptr<const TLDevice> TLDeviceTracker::device() {
  std::lock_guard guard(lock_);
  return deviceLocked();
}

std::shared_ptr<const TLDevice> TLDeviceTracker::deviceLocked() {
  {
    auto& values = processValues();
    std::lock_guard guard(values.lock);
    if (device_ && !values.refreshNeeded) return device_;
  }
  std::shared_ptr<const TLDevice> device = updatedDevice();
  device_ = device;
  Date now = clock_.now();
  auto record = std::make_shared<TLDeviceHistoryInfo>(now, device);
  // After every record with the same time: a record built later wins ties.
  auto position = std::partition_point(history_.begin(), history_.end(),
                                       [&](const auto& r) { return !r->timestamp || *r->timestamp <= now; });
  history_.insert(position, std::move(record));
  if (history_.size() > kMaxHistoryCount) history_.erase(history_.begin());
  tlSaveHistory(settings_, kHistoryKey, history_);
  return device_;
}

std::shared_ptr<const TLDevice> TLDeviceTracker::deviceForTimestamp(std::optional<Date> timestamp) {
  std::lock_guard guard(lock_);
  if (!timestamp || history_.empty()) return deviceLocked();
  auto position = std::partition_point(history_.begin(), history_.end(),
                                       [&](const auto& record) { return earlier(record, *timestamp); });
  if (position == history_.begin()) return history_.front()->device;
  return (*std::prev(position))->device;
}

void TLDeviceTracker::clearDevices() {
  std::lock_guard guard(lock_);
  settings_.removeObjectForKey(kHistoryKey);
  device_.reset();
  history_.clear();
}

void TLDeviceTracker::setWrapperSdk(std::shared_ptr<const TLWrapperSdk> wrapperSdk) {
  std::lock_guard guard(lock_);
  auto& values = processValues();
  std::lock_guard valuesGuard(values.lock);
  values.wrapperSdk = std::move(wrapperSdk);
  values.refreshNeeded = true;
}

void TLDeviceTracker::setCountryCode(std::optional<std::string> countryCode) {
  std::lock_guard guard(lock_);
  auto& values = processValues();
  std::lock_guard valuesGuard(values.lock);
  values.countryCode = std::move(countryCode);
  values.refreshNeeded = true;
}

std::string TLDeviceTracker::screenSize() const { return TLMainScreen::screenSizeText(TLMainScreen::metrics()); }

std::shared_ptr<TLDevice> TLDeviceTracker::updatedDevice() {
  auto device = std::make_shared<TLDevice>();
  device->sdkName = TLUtility::sdkName();
  device->sdkVersion = TLUtility::sdkVersion();
  device->model = systemInfo_.hardwareModel();
  device->oemName = systemInfo_.hardwareVendor();
  device->osName = systemInfo_.osName();
  device->osVersion = systemInfo_.osVersion();
  device->osBuild = systemInfo_.osBuild();
  device->locale = TLSystemInfo::localeIdentifier();
  device->timeZoneOffset = TLSystemInfo::timeZoneOffsetMinutes(clock_.now());
  device->screenSize = screenSize();
  device->appVersion = foundation::AppIdentity::version();
  // Builds of this application carry no build number apart from their version.
  device->appBuild = foundation::AppIdentity::version();
  device->appNamespace = foundation::AppIdentity::identifier();

  auto& values = processValues();
  std::lock_guard guard(values.lock);
  device->carrierCountry = values.countryCode;
  if (values.wrapperSdk) {
    device->wrapperSdkVersion = values.wrapperSdk->wrapperSdkVersion;
    device->wrapperSdkName = values.wrapperSdk->wrapperSdkName;
    device->wrapperRuntimeVersion = values.wrapperSdk->wrapperRuntimeVersion;
    device->liveUpdateReleaseLabel = values.wrapperSdk->liveUpdateReleaseLabel;
    device->liveUpdateDeploymentKey = values.wrapperSdk->liveUpdateDeploymentKey;
    device->liveUpdatePackageHash = values.wrapperSdk->liveUpdatePackageHash;
  }
  values.refreshNeeded = false;
  return device;
}

std::vector<TLDeviceHistoryInfo> TLDeviceTracker::deviceHistory() const {
  std::lock_guard guard(lock_);
  std::vector<TLDeviceHistoryInfo> copy;
  for (const auto& record : history_) copy.push_back(*record);
  return copy;
}

}  // namespace ml::beacon
