#include "appkit/DesktopWorkspace.h"

#include <QDesktopServices>
#include <QProcess>
#include <QString>
#include <QUrl>
#include <set>

#include "platform/logging/Log.h"

namespace ml::appkit {

namespace fs = std::filesystem;
using foundation::Error;

DesktopWorkspace::DesktopWorkspace(std::shared_ptr<FileManager> fileManager, std::shared_ptr<const FreedesktopTrash> trash,
                                   dispatch::Queue& main, dispatch::Queue& background)
    : fileManager_(std::move(fileManager)), trash_(std::move(trash)), main_(main), background_(background) {}

void DesktopWorkspace::open(const fs::path& item, const std::optional<std::string>& application) {
  main_.async([item, application] {
    QString path = QString::fromStdString(item.string());
    bool started = false;
    if (application && !application->empty()) {
      // A named application is a program to start with the item as its argument.
      started = QProcess::startDetached(QString::fromStdString(*application), {path});
    } else {
      started = QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
    if (!started) {
      LOG_ERROR("failed to open item. path=" << item.string() << " application=" << application.value_or("(default)"));
    }
  });
}

void DesktopWorkspace::reveal(const std::vector<fs::path>& items) {
  auto shown = fileManager_->showItems(items);
  if (shown) return;
  LOG_WARNING("file manager did not reveal items, opening their folders. error=" << shown.error());
  std::vector<fs::path> folders;
  std::set<fs::path> seen;
  for (const auto& item : items) {
    if (seen.insert(item.parent_path()).second) folders.push_back(item.parent_path());
  }
  main_.async([folders] {
    for (const auto& folder : folders) QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder.string())));
  });
}

std::pair<std::vector<fs::path>, std::optional<Error>> DesktopWorkspace::recycleNow(const FreedesktopTrash& trash,
                                                                                   const std::vector<fs::path>& items) {
  std::vector<fs::path> recycled;
  std::vector<std::string> failures;
  std::optional<Error> firstError;
  for (const auto& item : items) {
    auto result = trash.trash(item);
    if (result) {
      recycled.push_back(item);
      continue;
    }
    if (!firstError) firstError = result.error();
    failures.push_back(item.string() + " (" + result.error().message + ")");
  }
  if (!firstError) return {std::move(recycled), std::nullopt};
  if (failures.size() > 1) {
    std::string text = std::to_string(failures.size()) + " items could not be moved to the Trash: ";
    for (std::size_t i = 0; i < failures.size(); ++i) text += (i ? ", " : "") + failures[i];
    firstError->message = text;
  }
  return {std::move(recycled), firstError};
}

void DesktopWorkspace::recycle(std::vector<fs::path> items, RecycleCompletion completion) {
  // The trash is captured, not this: the work may outlive the workspace.
  background_.async([trash = trash_, items = std::move(items), completion = std::move(completion)] {
    auto [recycled, error] = recycleNow(*trash, items);
    if (completion) completion(std::move(recycled), std::move(error));
  });
}

}  // namespace ml::appkit
