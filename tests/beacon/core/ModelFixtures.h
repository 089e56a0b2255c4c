#pragma once
// Builders of telemetry model objects for the core's tests.
#include <chrono>
#include <memory>

#include "beacon/core/TLDevice.h"

namespace ml::beacon::test {

using Date = std::chrono::system_clock::time_point;

// 2026-12-07T08:00:00.123456789Z: sub-millisecond digits catch lossy archives.
inline Date sampleDate() {
  using namespace std::chrono;
  return Date(duration_cast<system_clock::duration>(sys_days(year{2026} / December / 7).time_since_epoch() + hours(8) +
                                                    nanoseconds(123456789)));
}

// A device record with every required field.
inline std::shared_ptr<TLDevice> validDevice() {
  auto device = std::make_shared<TLDevice>();
  device->sdkName = "beacon.macos";
  device->sdkVersion = "2.3.0";
  device->osName = "Linux";
  device->osVersion = "6.1";
  device->locale = "en_US";
  device->timeZoneOffset = 60;
  device->appVersion = "0.1.0";
  device->appBuild = "1";
  return device;
}

// A device record with every field, wrapper fields included.
inline std::shared_ptr<TLDevice> fullDevice() {
  auto device = validDevice();
  device->wrapperSdkVersion = "1.0";
  device->wrapperSdkName = "wrapper";
  device->wrapperRuntimeVersion = "rt";
  device->liveUpdateReleaseLabel = "label";
  device->liveUpdateDeploymentKey = "deploy";
  device->liveUpdatePackageHash = "hash";
  device->model = "Desktop";
  device->oemName = "Maker";
  device->osBuild = "build";
  device->osApiLevel = 33;
  device->screenSize = "1920x1080";
  device->carrierName = "carrier";
  device->carrierCountry = "de";
  device->appNamespace = "org.marrowlane.Marrowlane";
  return device;
}

}  // namespace ml::beacon::test
