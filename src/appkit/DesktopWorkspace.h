#pragma once
// The workspace on a freedesktop desktop: opening through the desktop's default handlers
// (QDesktopServices, on the main thread), revealing through the file manager's D-Bus interface
// (falling back to opening the items' folders when no file manager answers), and the
// freedesktop Trash.
#include "appkit/FileManager.h"
#include "appkit/FreedesktopTrash.h"
#include "appkit/Workspace.h"
#include "platform/dispatch/Queue.h"

namespace ml::appkit {

class DesktopWorkspace final : public Workspace {
 public:
  // Nothing is owned; all must outlive the workspace and the work it posts.
  DesktopWorkspace(FileManager& fileManager, const FreedesktopTrash& trash, dispatch::Queue& main,
                   dispatch::Queue& background);

  void open(const std::filesystem::path& item, const std::optional<std::string>& application) override;
  void reveal(const std::vector<std::filesystem::path>& items) override;
  void recycle(std::vector<std::filesystem::path> items, RecycleCompletion completion) override;

  // Trashes the items one by one on the calling thread; what recycle() does in the background.
  static std::pair<std::vector<std::filesystem::path>, std::optional<foundation::Error>> recycleNow(
      const FreedesktopTrash& trash, const std::vector<std::filesystem::path>& items);

 private:
  FileManager& fileManager_;
  const FreedesktopTrash& trash_;
  dispatch::Queue& main_;
  dispatch::Queue& background_;
};

}  // namespace ml::appkit
