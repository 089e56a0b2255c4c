#include "shell/Dialogs.h"

#include "appkit/OpenPanels.h"
#include "files/FileSystem.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/logging/Log.h"
#include "shell/core/PathList.h"

namespace ml::shell {

namespace {

files::Path onDefaultFileSystem(const std::filesystem::path& item) {
  return files::Path(files::FileSystems::defaultFileSystem(), item);
}

}  // namespace

appkit::OpenPanels* Dialogs::panels() const {
  if (!panels_) LOG_ERROR("no open panels without an application delegate");
  return panels_.get();
}

void Dialogs::chooseFile(bool allowDirectories, std::function<void(files::Path)> callback) const {
  ML_ASSERT_MAIN_THREAD();
  if (auto* shown = panels()) {
    shown->chooseFile(allowDirectories, [callback = std::move(callback)](std::filesystem::path item) {
      if (callback) callback(onDefaultFileSystem(item));
    });
  }
}

void Dialogs::chooseFiles(bool allowDirectories, bool allowFiles,
                          std::function<void(std::vector<files::Path>)> callback) const {
  if (auto* shown = panels()) {
    shown->chooseFiles(allowDirectories, allowFiles, [callback = std::move(callback)](std::vector<std::filesystem::path> items) {
      if (callback && !items.empty()) callback(pathsOnDefaultFileSystem(items));
    });
  }
}

void Dialogs::chooseDirectory(std::function<void(files::Path)> callback) const {
  if (auto* shown = panels()) {
    shown->chooseDirectory([callback = std::move(callback)](std::filesystem::path folder) {
      if (callback) callback(onDefaultFileSystem(folder));
    });
  }
}

}  // namespace ml::shell
