#pragma once
// The batch-rename dialog's controller: owns the dialog's store (RenameDialogState), turns each
// control's action into one event, and keeps the controls, the live preview, the count and the
// execute button in step with the state through its subscribers.
//
// Two ways to show it. As a sheet on a window (the rename command): executing ends the sheet with
// kRenameDialogContinueResponse and the command goes on; cancelling ends it with 0. On its own
// (no parent window, e.g. a drop on the application): executing opens the confirmation on this
// window, announces what it renamed on the global store, and closes the dialog once something was
// renamed (its items have new paths then).
//
// Announces its opening and its closing on the global store. Held by shared_ptr (make it with
// std::make_shared); its widgets are deleted on the main queue, so the last reference may go on
// any thread, also while the application shuts down. Everything else runs on the main thread.
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

#include "files/Path.h"
#include "platform/dispatch/Clock.h"
#include "platform/store/Core.h"
#include "rename/dialog/RenameDialogState.h"
#include "shell/RenameWindows.h"
#include "shell/WindowContext.h"

class QDialog;
class QLineEdit;

namespace Ui {
class RenameDialog;
}

namespace ml::rename {

class RenameConfirmationDialog;

class RenameDialog final : public shell::RenameDialogController {
 public:
  // The window loads on first use. `context` is what the dialog reaches of the application;
  // `clock` times the preview's quiet interval for large batches. Both must outlive the dialog.
  RenameDialog(std::vector<files::Path> items, shell::WindowContext context,
               dispatch::Clock& clock = dispatch::Clock::system());
  ~RenameDialog() override;

  bool hasWindow() const override { return true; }
  void show() override;
  void beginSheet(const std::shared_ptr<shell::WindowController>& parent, std::function<void(int)> ended) override;
  std::shared_ptr<const shell::RenameRule> rule() const override;
  const void* windowIdentity() const override;

  store::Core<RenameDialogState>& reactor() { return reactor_; }
  // The dialog's window, loading it on the first call.
  QDialog* window();
  // The confirmation opened by executing a standalone dialog, while it is open.
  std::shared_ptr<RenameConfirmationDialog> confirmation() const { return confirmation_; }

  void execute();
  void cancel();

 private:
  std::weak_ptr<RenameDialog> weakSelf();
  void windowDidLoad();
  void connectActions();
  void controlTextDidChange(QLineEdit* field);
  void fire(std::shared_ptr<const store::Event> event) { reactor_.fire(std::move(event)); }
  void finished(int response);
  void confirmationEnded();

  shell::WindowContext context_;
  store::Core<RenameDialogState> reactor_;
  dispatch::Clock& clock_;
  std::vector<std::shared_ptr<store::Subscriber<RenameDialogState>>> subscribers_;
  std::unique_ptr<Ui::RenameDialog> ui_;
  QPointer<QDialog> window_;
  bool isSheet_ = false;
  // The command's continuation while shown as a sheet; called once, then dropped (it holds us).
  std::function<void(int)> ended_;
  std::shared_ptr<RenameConfirmationDialog> confirmation_;
};

}  // namespace ml::rename
