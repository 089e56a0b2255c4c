#pragma once
// Shows alerts with QMessageBox, buttons in the order given, the first one the default. A long
// informative text shows its beginning, the whole of it in the box's scrolling details, unless
// the alert brings details of its own.
#include "appkit/values/Alert.h"

namespace ml::appkit {

class QtAlertPresenter final : public AlertPresenter {
 public:
  // Main thread only.
  int runModal(const Alert& alert) override;
  // A message box modal to the application, brought back if it is closed; with a stop, its
  // button stops the work, and so do Escape and the window's close.
  void showUntilDone(const Alert& notice, const Progress& progress, const Stop& stop = {}) override;
};

}  // namespace ml::appkit
