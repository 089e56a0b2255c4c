#pragma once
// Shows alerts with QMessageBox, buttons in the order given, the first one the default. A long
// informative text shows its beginning, the whole of it in the box's scrolling details.
#include "appkit/values/Alert.h"

namespace ml::appkit {

class QtAlertPresenter final : public AlertPresenter {
 public:
  // Main thread only.
  int runModal(const Alert& alert) override;
  // A message box without buttons, modal to the application, brought back if it is closed.
  void showUntilDone(const Alert& notice, const Progress& progress) override;
};

}  // namespace ml::appkit
