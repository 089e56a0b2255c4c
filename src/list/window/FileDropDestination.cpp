#include "list/window/FileDropDestination.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "appkit/ItemPath.h"
#include "appkit/ToolkitFileNames.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/logging/Log.h"

namespace ml::list {

namespace {

bool carriesFiles(const QMimeData* data) {
  if (!data || !data->hasUrls()) return false;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile() && !url.toLocalFile().isEmpty()) return true;
  }
  return false;
}

}  // namespace

FileDropDestination::FileDropDestination(QWidget* parent) : QWidget(parent) {
  LOG_DEBUG("registering for file URL drops...");
  setAcceptDrops(true);
}

std::vector<std::filesystem::path> FileDropDestination::droppedFiles(const QMimeData* data) {
  std::vector<std::filesystem::path> files;
  if (!data || !data->hasUrls()) {
    LOG_WARNING("no supported pasteboard type available.");
    return files;
  }
  LOG_DEBUG("pasteboard available type => text/uri-list");
  const QList<QUrl> urls = data->urls();
  LOG_DEBUG("found results. " << urls.size() << " URLs");
  for (const QUrl& url : urls) {
    auto local = appkit::localPathOfUrl(url);
    if (!local || local->empty()) {
      LOG_WARNING("unsupported entry type. type=" << url.scheme().toStdString());
      continue;
    }
    files.push_back(appkit::canonicalItemPath(*local));
  }
  return files;
}

void FileDropDestination::dragEnterEvent(QDragEnterEvent* event) {
  LOG_DEBUG("dragging entered view.");
  if (carriesFiles(event->mimeData())) event->acceptProposedAction();
}

void FileDropDestination::dragMoveEvent(QDragMoveEvent* event) {
  if (carriesFiles(event->mimeData())) event->acceptProposedAction();
}

void FileDropDestination::dropEvent(QDropEvent* event) {
  ML_ASSERT_MAIN_THREAD();
  LOG_DEBUG("drag operation triggered.");
  auto files = droppedFiles(event->mimeData());
  if (files.empty()) {
    LOG_DEBUG("no files dropped");
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  if (auto delegate = delegate_.lock()) delegate->dropped(files);
}

}  // namespace ml::list
