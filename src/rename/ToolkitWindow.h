#pragma once
// The Qt window behind a controller, found among the open top-level widgets by the identity the
// controller reports (WindowController::windowIdentity()), so a sheet never attaches to a window
// that has already gone. Main thread.
#include <QWidget>

#include "shell/core/WindowController.h"

namespace ml::rename {

QWidget* toolkitWindow(const shell::WindowController& controller);

}  // namespace ml::rename
