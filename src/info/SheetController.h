#pragma once
// A date sheet as the Info window shows it: a window controller (announced on the global store
// while open) with a dialog that the window presents modally on itself.
//
// The dialog is made on the main thread and only ever touched there; when the controller goes
// (possibly on another thread, as the global store lets it go), the dialog is deleted on the
// main queue.
#include <QDialog>

#include "shell/core/WindowController.h"

namespace ml::info {

class SheetController : public shell::WindowController {
 public:
  // Main thread. Loads the dialog on first use.
  virtual QDialog& sheetWindow() = 0;
};

}  // namespace ml::info
