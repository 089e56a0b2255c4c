#pragma once
// The confirmation sheet: shows one item at a time with its proposed new name and renames it,
// skips it, renames it and all the rest, or stops (RenameConfirmation does the walk). Ends with
// kConfirmationFinishedResponse when the walk is done and kConfirmationAbortedResponse when
// stopped; what was renamed stays renamed and is in results() either way.
//
// Failures are told to the user: a failed rename in an alert naming the item and the reason (the
// item stays shown, to be skipped or retried), the failures of "rename all" in one alert listing
// each item. With no item to confirm it shows no sheet: it says that no name would change and
// ends at once.
//
// Announces its opening and closing on the global store. Held by shared_ptr (make it with
// std::make_shared); widgets are deleted on the main queue, so the last reference may go on any
// thread. Main thread otherwise.
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

#include "files/Path.h"
#include "rename/confirmation/RenameConfirmation.h"
#include "shell/RenameWindows.h"
#include "shell/WindowContext.h"

class QDialog;
class QWidget;

namespace Ui {
class RenameConfirmationDialog;
}

namespace ml::rename {

inline constexpr int kConfirmationFinishedResponse = 1;
inline constexpr int kConfirmationAbortedResponse = -1001;

class RenameConfirmationDialog final : public shell::RenameConfirmationController {
 public:
  // `context` is what the sheet reaches of the application (its alerts, the global store); it
  // must outlive the sheet.
  RenameConfirmationDialog(std::vector<files::Path> items, std::shared_ptr<const shell::RenameRule> rule,
                           shell::WindowContext context);
  ~RenameConfirmationDialog() override;

  void beginSheet(const std::shared_ptr<shell::WindowController>& parent, std::function<void()> ended) override;
  // The same on a Qt window (null: a window of its own that still ends like a sheet).
  void beginSheet(QWidget* parent, std::function<void()> ended);
  shell::PathMapping results() const override { return walk_.results(); }
  const void* windowIdentity() const override;

  // The sheet's window, loading it on the first call.
  QDialog* window();
  const RenameConfirmation& walk() const { return walk_; }

  void renameItem();
  void skipItem();
  void renameRemaining();
  void abortRenaming();

 private:
  void windowDidLoad();
  void showItem();
  void finish();
  void finished(int response);
  // Shows `alert` modally through the application's alerts; nothing without them.
  void showAlert(const appkit::Alert& alert) const;

  shell::WindowContext context_;
  RenameConfirmation walk_;
  std::unique_ptr<Ui::RenameConfirmationDialog> ui_;
  QPointer<QDialog> window_;
  // Called once when the sheet ends, then dropped (it may hold this controller).
  std::function<void()> ended_;
};

}  // namespace ml::rename
