#pragma once
// Shows alerts with QMessageBox, buttons in the order given, the first one the default.
#include "appkit/values/Alert.h"

namespace ml::appkit {

class QtAlertPresenter final : public AlertPresenter {
 public:
  // Main thread only.
  int runModal(const Alert& alert) override;
};

}  // namespace ml::appkit
