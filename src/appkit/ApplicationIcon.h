#pragma once
// The application's icon: the installed theme icon when the desktop has it, else a drawn one, so
// windows and alerts carry it even when the application runs from the build folder.
#include <QIcon>

namespace ml::appkit {

// Thread affinity: main thread (it creates pixmaps).
QIcon applicationIcon();

}  // namespace ml::appkit
