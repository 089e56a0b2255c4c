#pragma once
// The preferences window: three panes in tabs (General, Drop Keys, Advanced), a Save button and
// a Use Defaults button that act on the pane of the selected tab. Each showing of the preferences
// makes a new controller.
//
// Save stores the selected pane and every other pane that holds edits, so no edit made in the
// window is lost by the click; then it announces on the global store that the window closed and
// closes it. A pane that fails to save is logged and reported in the "Failed to save preferences"
// alert, and the window stays open with its edits. Closing the window any other way asks first
// when a pane holds edits (Save, Don't Save, Cancel), and every close announces the closing once,
// so the global state never keeps a closed preferences window.
//
// The opening is announced by the command that shows the window. The controller owns its window;
// the last reference may go on any thread (the window is then deleted on the main thread). All
// other calls: main thread.
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "appkit/values/Alert.h"
#include "platform/foundation/Preferences.h"
#include "platform/store/Event.h"
#include "shell/core/Telemetry.h"
#include "shell/core/WindowController.h"

class QMainWindow;
class QTabWidget;

namespace Ui {
class PreferencesController;
}

namespace ml::shell {

class AdvancedPreferenceController;
class DropKeysPreferenceController;
class GeneralPreferenceController;
class PreferencesPane;
class PreferencesWindow;

class PreferencesController final : public ShowableWindow {
 public:
  struct Services {
    // Not owned; must outlive the window. Required.
    foundation::Preferences* preferences = nullptr;
    std::shared_ptr<appkit::AlertPresenter> alerts;
    std::shared_ptr<UsageEvents> usageEvents;
    // Fires on the global store (the closing announcement).
    std::function<void(std::shared_ptr<const store::Event>)> announce;
  };

  // Builds the window and its panes (which read the stored settings). Main thread.
  static std::shared_ptr<PreferencesController> make(Services services);
  ~PreferencesController() override;

  void show() override;
  const void* windowIdentity() const override;

  // The Save button.
  void saveChanges();
  // The Use Defaults button: the active pane shows its defaults; nothing is stored.
  void useDefaults();
  // The tab view's selection: the tab labelled General, Drop Keys or Advanced (any letter case)
  // makes its pane active; any other tab leaves the active pane as it is.
  void tabSelected(int index);

  PreferencesPane* activePane() const { return activePane_; }
  GeneralPreferenceController* general() const;
  DropKeysPreferenceController* dropKeys() const;
  AdvancedPreferenceController* advanced() const;
  QTabWidget* tabContainer() const;
  QMainWindow* window() const;
  // Whether the closing has been announced.
  bool hasAnnouncedClosing() const { return closingAnnounced_; }

 private:
  struct LaterDeleter {
    void operator()(PreferencesWindow* window) const;
  };

  explicit PreferencesController(Services services);
  void windowDidLoad();
  std::vector<PreferencesPane*> panes() const;
  // Saves the active pane, then every other pane with edits; false after the first failure.
  bool saveEditedPanes();
  bool windowShouldClose();
  void announceClosing();

  Services services_;
  std::unique_ptr<PreferencesWindow, LaterDeleter> window_;
  std::unique_ptr<Ui::PreferencesController> ui_;
  // Owned by the window's widget tree.
  QPointer<GeneralPreferenceController> general_;
  QPointer<DropKeysPreferenceController> dropKeys_;
  QPointer<AdvancedPreferenceController> advanced_;
  PreferencesPane* activePane_ = nullptr;
  // The tabs' labels as the interface file names them, before localization.
  std::vector<QString> tabLabels_;
  bool saved_ = false;
  bool closingAnnounced_ = false;
};

}  // namespace ml::shell
