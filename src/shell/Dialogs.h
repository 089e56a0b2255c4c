#pragma once
// Asking the user for items, for any window: the application's open panels (one item, several
// items, one folder) with the chosen items as paths on the default file system. A cancelled panel
// calls nothing. The several-items and folder panels call back on a background thread; move to
// the main queue before touching widgets.
//
// Without panels (a window run on its own) nothing is shown and the log says so.
#include <functional>
#include <memory>
#include <vector>

#include "files/Path.h"

namespace ml::appkit {
class OpenPanels;
}

namespace ml::shell {

class Dialogs {
 public:
  explicit Dialogs(std::shared_ptr<appkit::OpenPanels> panels) : panels_(std::move(panels)) {}

  // Main thread; the callback runs on the main thread.
  void chooseFile(bool allowDirectories, std::function<void(files::Path)> callback) const;
  // Any thread; the callback runs on a background thread.
  void chooseFiles(bool allowDirectories, bool allowFiles, std::function<void(std::vector<files::Path>)> callback) const;
  // Any thread; the callback runs on a background thread.
  void chooseDirectory(std::function<void(files::Path)> callback) const;

 private:
  // The panels, or null (logged) when there are none.
  appkit::OpenPanels* panels() const;

  std::shared_ptr<appkit::OpenPanels> panels_;
};

}  // namespace ml::shell
