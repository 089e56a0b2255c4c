#pragma once
// The strip at the bottom of the Info window: apply, revert, save-and-close and cancel (or
// close), and a menu that switches between the window's items. Apply, revert and save-and-close
// show only while edits are pending; the cancel button then reads "Cancel", else "Close". When
// nothing is left to show (every item went to the Trash) the bar closes the window.
// Switching items, or closing the window other than by its Cancel button, while edits are
// pending asks first (Apply / Discard / Cancel): the edits belong to the item shown and would
// otherwise be lost. The Cancel button itself discards them.
// Main thread.
#include <QPushButton>
#include <memory>
#include <vector>

#include "appkit/TolvekViewController.h"
#include "appkit/values/Alert.h"
#include "info/StoreConnection.h"

namespace Ui {
class ButtonBarController;
}

namespace ml::info {

class ButtonBarController final : public appkit::TolvekViewController, public StoreConnection {
  Q_OBJECT
 public:
  explicit ButtonBarController(QWidget* parent = nullptr);
  ~ButtonBarController() override;

  void update(const InfoWindowState& state);
  // The button that closes the window (connected by the window to its close action).
  QPushButton& cancelButton();
  // Whether the window may close now (its own close, not the Cancel button). With edits pending
  // it asks: Apply saves and then closes through the cancel button (false now), Discard gives
  // true, Cancel false. Once the application is shutting down it never asks.
  bool shouldClose();
  // Asks about pending edits before a switch or a close; without one, a message box on the main
  // thread.
  void setAlerts(std::shared_ptr<appkit::AlertPresenter> alerts) { alerts_ = std::move(alerts); }

 public slots:
  void changeSelectedPath(int index);
  void revertChanges();
  void applyChangesForCurrentPath();
  void saveAndClose();

 private:
  // Apply / Discard / Cancel about the edits of the item shown: 0, 1 or 2.
  int askAboutPendingEdits(const InfoWindowState& state);
  std::unique_ptr<Ui::ButtonBarController> ui_;
  std::vector<files::Path> pickerPaths_;  // the picker's represented objects, by position
  std::shared_ptr<appkit::AlertPresenter> alerts_;
};

}  // namespace ml::info
