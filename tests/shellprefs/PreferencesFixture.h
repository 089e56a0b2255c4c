#pragma once
// What the preferences tests share: a preferences file in an XDG sandbox, the shell suite's
// recording fakes (alerts, usage events), bytes of stored values, and key presses sent the way
// the toolkit delivers them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Preferences.h"
#include "shell/ShellFakes.h"  // tests/shell: FakeAlerts, RecordingUsageEvents
#include "support/TempDir.h"

namespace ml::shell::testing {

class PreferencesTest : public ::testing::Test {
 protected:
  PreferencesTest() : preferences(std::make_unique<foundation::Preferences>(sandbox.root() / "preferences.plist")) {}
  ~PreferencesTest() override {
    // Windows and sheets closed by a test go with the deferred deletions.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  // Reads the same file afresh, as the next launch would.
  std::unique_ptr<foundation::Preferences> reopened() const {
    return std::make_unique<foundation::Preferences>(sandbox.root() / "preferences.plist");
  }

  void storeDropKeys(const std::string& json) {
    preferences->set("dropkeys", foundation::PlistValue(foundation::PlistValue::Data(json.begin(), json.end())));
  }
  std::optional<std::string> storedDropKeys() const {
    auto data = preferences->data("dropkeys");
    if (!data) return std::nullopt;
    return std::string(data->begin(), data->end());
  }

  test::XdgSandbox sandbox;
  std::unique_ptr<foundation::Preferences> preferences;
  std::shared_ptr<FakeAlerts> alerts = std::make_shared<FakeAlerts>();
  std::shared_ptr<RecordingUsageEvents> usage = std::make_shared<RecordingUsageEvents>();
};

// A preferences store whose file can never be written: its folder is a regular file.
inline std::unique_ptr<foundation::Preferences> unwritablePreferences(const test::XdgSandbox& sandbox) {
  std::filesystem::path blocker = sandbox.root() / "blocked";
  { std::ofstream(blocker) << "not a folder"; }
  return std::make_unique<foundation::Preferences>(blocker / "preferences.plist");
}

}  // namespace ml::shell::testing
