#pragma once
// The "dropkeys" pane: the key combination of each drop action, shown in a field per action and
// changed through the binding sheet. Only the five actions that are carried out (info, list,
// rename, move, copy) are shown, loaded and stored; the fields of the four others exist but stay
// hidden, since a binding for them would never be stored or used.
//
// Stored under "dropkeys" as the bindings that differ from the built-in ones (see
// DropKeyBindings.h); nothing stored means the built-in bindings. A binding saved with a space
// bar holds the space character, as a held space bar gives it at a drop.
//
// Thread affinity: main thread.
#include <array>
#include <map>
#include <memory>
#include <optional>

#include <QString>

#include "appkit/TolvekViewController.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/Preferences.h"
#include "shell/DropAction.h"
#include "shell/core/Telemetry.h"
#include "shell/preferences/PreferencesPane.h"

class QPushButton;

namespace Ui {
class DropKeysPreferenceController;
}

namespace ml::shell {

class DropKeyBindingSheet;
class DropKeyField;

class DropKeysPreferenceController final : public appkit::TolvekViewController, public PreferencesPane {
  Q_OBJECT
 public:
  // The actions whose bindings the pane loads, resets and stores.
  static constexpr std::array<DropAction, 5> kStoredActions = {DropAction::info, DropAction::list, DropAction::rename,
                                                               DropAction::move, DropAction::copy};

  // `preferences` must outlive the pane; `usageEvents` receives "dropkey-save-failure".
  DropKeysPreferenceController(foundation::Preferences& preferences, std::shared_ptr<UsageEvents> usageEvents,
                               QWidget* parent = nullptr);
  ~DropKeysPreferenceController() override;

  std::string name() const override { return "dropkeys"; }
  void revertChanges() override;
  // The five stored fields show their built-in bindings; nothing is stored.
  void applyDefaults() override;
  // Stores the bindings of the five fields that differ from the built-in ones. An encoding or
  // write failure is logged, tracked as "dropkey-save-failure" and returned; nothing is stored.
  std::optional<foundation::Error> save() override;
  bool hasUnsavedChanges() const override;

  DropKeyField* field(DropAction action) const;
  // The button whose tag is the action's position.
  QPushButton* button(DropAction action) const;

  // Opens a binding sheet on the pane's window for the action at position `tag`; saving the
  // sheet puts its binding in that action's field. Returns the sheet, which deletes itself when
  // it closes, or null for a tag that names no action.
  DropKeyBindingSheet* setBinding(int tag);

  // Why `keys` cannot be bound to `action` (another action shown in the pane already uses them),
  // or nothing when they can.
  std::optional<QString> refusal(DropAction action, const DropKeys& keys) const;

  // The clock and queue of the sheets' modifier debouncing (tests run them by hand). Both must
  // outlive the sheets.
  void setSheetTiming(dispatch::Clock& clock, dispatch::Queue& queue);

 protected:
  void viewDidLoad() override;

 private:
  void loadCurrentSettings();
  // The binding, or nothing when it equals the action's built-in one.
  std::optional<DropKeys> coalesce(const std::optional<DropKeys>& setting, DropAction action) const;
  std::map<DropAction, std::optional<DropKeys>> shownBindings() const;
  // The action's name as the pane labels it.
  QString actionName(DropAction action) const;

  std::unique_ptr<Ui::DropKeysPreferenceController> ui_;
  foundation::Preferences& preferences_;
  std::shared_ptr<UsageEvents> usageEvents_;
  dispatch::Clock* sheetClock_;
  dispatch::Queue* sheetQueue_;
  std::map<DropAction, std::optional<DropKeys>> loaded_;
};

}  // namespace ml::shell
