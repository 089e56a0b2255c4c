#pragma once
// Builds the device record every log carries (client library, machine, operating system, locale,
// time zone, screen, application) and remembers the last kMaxHistoryCount records with the time
// each was built under "pastDevicesKey" in the settings store, so that a log made in an earlier
// run can be stamped with the device as it was then.
//
// The record is cached and rebuilt only when an input changed (wrapper-SDK details, country code)
// or a refresh was asked for; every rebuild is added to the history. The wrapper-SDK details, the
// country code and the refresh flag are process-wide (shared by every tracker).
//
// Thread-safe: the tracker's lock guards the current record and the history; the process-wide
// values have a lock of their own, taken after the tracker's, never before it.
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "beacon/core/Context/TLHistoryInfo.h"
#include "beacon/core/Context/TLSystemInfo.h"
#include "beacon/core/TLDevice.h"
#include "beacon/core/TLWrapperSdk.h"

namespace ml::dispatch {
class Clock;
}

namespace ml::beacon {

class TLUserDefaults;

class TLDeviceTracker {
 public:
  using Date = std::chrono::system_clock::time_point;
  static constexpr std::string_view kHistoryKey = "pastDevicesKey";
  static constexpr std::size_t kMaxHistoryCount = 5;

  static std::shared_ptr<TLDeviceTracker> sharedInstance();
  // Drops the shared tracker, forgets the wrapper-SDK details and the country code, and asks for
  // a rebuild.
  static void resetSharedInstance();
  // The next device() call builds a new record.
  static void refreshDeviceNextTime();

  // Reads the stored history (an unreadable one is empty).
  TLDeviceTracker(TLUserDefaults& settings, dispatch::Clock& clock, TLSystemInfo systemInfo = TLSystemInfo());

  // The current record, built (and recorded in the history) when there is none or a refresh is
  // needed.
  std::shared_ptr<const TLDevice> device();
  // The record of the newest history entry strictly earlier than `timestamp`; the oldest record
  // when none is earlier; device() without a timestamp or without a history.
  std::shared_ptr<const TLDevice> deviceForTimestamp(std::optional<Date> timestamp);
  // Forgets the current record and the history, stored one included.
  void clearDevices();
  void setWrapperSdk(std::shared_ptr<const TLWrapperSdk> wrapperSdk);
  void setCountryCode(std::optional<std::string> countryCode);

  // A new record from the system and the application; clears the refresh flag.
  std::shared_ptr<TLDevice> updatedDevice();
  std::string screenSize() const;

  std::vector<TLDeviceHistoryInfo> deviceHistory() const;

 private:
  std::shared_ptr<const TLDevice> deviceLocked();

  TLUserDefaults& settings_;
  dispatch::Clock& clock_;
  TLSystemInfo systemInfo_;
  mutable std::mutex lock_;
  std::shared_ptr<const TLDevice> device_;
  std::vector<std::shared_ptr<TLDeviceHistoryInfo>> history_;  // by timestamp, oldest first
};

}  // namespace ml::beacon
