#pragma once
// The "advanced" pane: whether the debug log is written ("debugLogs"). Logging reads the setting
// once, when it is set up at start-up, so a change takes effect at the next launch.
//
// Thread affinity: main thread.
#include <memory>

#include "appkit/TolvekViewController.h"
#include "platform/foundation/Preferences.h"
#include "shell/preferences/PreferencesPane.h"

class QCheckBox;

namespace Ui {
class AdvancedPreferenceController;
}

namespace ml::shell {

class AdvancedPreferenceController final : public appkit::TolvekViewController, public PreferencesPane {
  Q_OBJECT
 public:
  // `preferences` must outlive the pane.
  explicit AdvancedPreferenceController(foundation::Preferences& preferences, QWidget* parent = nullptr);
  ~AdvancedPreferenceController() override;

  std::string name() const override { return "advanced"; }
  void revertChanges() override;
  void applyDefaults() override;
  std::optional<foundation::Error> save() override;
  bool hasUnsavedChanges() const override;

  QCheckBox* debugLogsCheckbox() const;

 protected:
  void viewDidLoad() override;

 private:
  std::unique_ptr<Ui::AdvancedPreferenceController> ui_;
  foundation::Preferences& preferences_;
  bool shownDebugLogs_ = false;
};

}  // namespace ml::shell
