#pragma once
// The workspace on a freedesktop desktop: opening through the desktop's default handlers
// (QDesktopServices, on the main thread), revealing through the file manager's D-Bus interface
// (falling back to opening the items' folders when no file manager answers), and the
// freedesktop Trash.
#include <QUrl>
#include <functional>
#include <memory>

#include "appkit/FileManager.h"
#include "appkit/FreedesktopTrash.h"
#include "appkit/Workspace.h"
#include "platform/dispatch/Queue.h"

namespace ml::appkit {

class DesktopWorkspace final : public Workspace {
 public:
  // Hands a URL to the desktop's handler for it; false when none took it. Main thread.
  using UrlOpener = std::function<bool(const QUrl&)>;

  // The queues must outlive the work the workspace posts (the shared ones live for the process).
  // Without an opener URLs go to QDesktopServices.
  DesktopWorkspace(std::shared_ptr<FileManager> fileManager, std::shared_ptr<const FreedesktopTrash> trash,
                   dispatch::Queue& main, dispatch::Queue& background, UrlOpener opener = {});

  // fileUrlText() of the item as a URL whose encoded form keeps those bytes.
  static QUrl fileUrl(const std::filesystem::path& item);

  void open(const std::filesystem::path& item, const std::optional<std::string>& application) override;
  void reveal(const std::vector<std::filesystem::path>& items) override;
  void recycle(std::vector<std::filesystem::path> items, RecycleCompletion completion) override;
  void recycleWithProgress(std::vector<std::filesystem::path> items, RecycleProgress progress,
                           RecycleCompletion completion) override;

  // Trashes the items one by one on the calling thread, telling and asking `progress` between
  // items; what recycle() does in the background.
  static std::pair<std::vector<std::filesystem::path>, std::optional<foundation::Error>> recycleNow(
      const FreedesktopTrash& trash, const std::vector<std::filesystem::path>& items,
      const RecycleProgress& progress = {});

 private:
  std::shared_ptr<FileManager> fileManager_;
  std::shared_ptr<const FreedesktopTrash> trash_;
  dispatch::Queue& main_;
  dispatch::Queue& background_;
  UrlOpener opener_;
};

}  // namespace ml::appkit
