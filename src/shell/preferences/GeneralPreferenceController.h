#pragma once
// The "general" pane: what opens at start-up ("startupAction": none, a new list, the find window)
// and what items opened with the application do when no drop key is held ("dropAction": info,
// list or rename; the other actions cannot be the default). A stored value this pane cannot show
// is shown as its default (none, info) and left stored until the pane saves.
//
// Thread affinity: main thread.
#include <memory>
#include <optional>

#include "appkit/TolvekViewController.h"
#include "platform/foundation/Preferences.h"
#include "shell/DropAction.h"
#include "shell/StartupAction.h"
#include "shell/preferences/PreferencesPane.h"

class QComboBox;

namespace Ui {
class GeneralPreferenceController;
}

namespace ml::shell {

class GeneralPreferenceController final : public appkit::TolvekViewController, public PreferencesPane {
  Q_OBJECT
 public:
  // `preferences` must outlive the pane.
  explicit GeneralPreferenceController(foundation::Preferences& preferences, QWidget* parent = nullptr);
  ~GeneralPreferenceController() override;

  std::string name() const override { return "general"; }
  void revertChanges() override;
  void applyDefaults() override;
  std::optional<foundation::Error> save() override;
  bool hasUnsavedChanges() const override;

  QComboBox* startupActionPopup() const;
  QComboBox* dropActionPopup() const;
  // The values of the selected items.
  std::optional<StartupAction> selectedStartupAction() const;
  std::optional<DropAction> selectedDropAction() const;

  // The item positions of the values the popups offer (the others are separators).
  static int startupIndex(StartupAction action);
  // Nothing for the actions that cannot be the default.
  static std::optional<int> dropIndex(DropAction action);

 protected:
  void viewDidLoad() override;

 private:
  void selectStoredSettings();
  void rememberShownSettings();

  std::unique_ptr<Ui::GeneralPreferenceController> ui_;
  foundation::Preferences& preferences_;
  int shownStartupIndex_ = 0;
  int shownDropIndex_ = 0;
};

}  // namespace ml::shell
