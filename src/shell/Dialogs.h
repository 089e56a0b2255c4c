#pragma once
// Asking the user for items, for any window: the application's open panels (one item, several
// items, one folder) with the chosen items as paths on the default file system. A cancelled panel
// calls nothing. The several-items and folder panels call back on a background thread; move to
// the main queue before touching widgets.
//
// Reaches the panels through AppDelegate::shared(); without a delegate nothing is shown.
#include <functional>
#include <vector>

#include "files/Path.h"

namespace ml::shell {

class Dialogs {
 public:
  Dialogs() = delete;

  // Main thread; the callback runs on the main thread.
  static void chooseFile(bool allowDirectories, std::function<void(files::Path)> callback);
  // Any thread; the callback runs on a background thread.
  static void chooseFiles(bool allowDirectories, bool allowFiles, std::function<void(std::vector<files::Path>)> callback);
  // Any thread; the callback runs on a background thread.
  static void chooseDirectory(std::function<void(files::Path)> callback);
};

}  // namespace ml::shell
