#pragma once
// What every context test needs: XDG folders and a settings store of its own, virtual time, and
// the telemetry logger's lines.
#include <gtest/gtest.h>

#include <chrono>

#include "LogCapture.h"
#include "beacon/core/TLUserDefaults.h"
#include "platform/dispatch/ManualClock.h"
#include "platform/foundation/Preferences.h"
#include "support/TempDir.h"

namespace ml::beacon {

class ContextTest : public ::testing::Test {
 protected:
  using Date = std::chrono::system_clock::time_point;
  using seconds = std::chrono::seconds;

  // A store over the same file, as the next process would read it.
  foundation::Preferences& reopenedPreferences() {
    reopened_ = std::make_unique<foundation::Preferences>(temp.path() / "prefs.plist");
    return *reopened_;
  }

  ::ml::test::XdgSandbox sandbox;
  ::ml::test::TempDir temp;
  foundation::Preferences preferences{temp.path() / "prefs.plist"};
  dispatch::ManualClock clock;
  TLUserDefaults settings{preferences, clock};
  ::ml::test::LogCapture capture;

 private:
  std::unique_ptr<foundation::Preferences> reopened_;
};

}  // namespace ml::beacon
