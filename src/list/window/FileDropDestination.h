#pragma once
// The part of a list window that takes files dragged onto it. It accepts drags that carry file
// URLs (text/uri-list), reads the local files among them in the drag's order and hands them to
// its delegate; URLs of anything but local files are skipped with a warning, and a drop without
// one file is refused. Main thread.
#include <QWidget>
#include <filesystem>
#include <memory>
#include <vector>

class QMimeData;

namespace ml::list {

class FileDropDelegate {
 public:
  virtual ~FileDropDelegate() = default;
  // The dropped files, in the drop's order, unfiltered and not de-duplicated. Main thread.
  virtual void dropped(const std::vector<std::filesystem::path>& files) = 0;
};

class FileDropDestination : public QWidget {
  Q_OBJECT
 public:
  explicit FileDropDestination(QWidget* parent = nullptr);

  // Held weakly: a delegate that went away is not called.
  void setDelegate(std::weak_ptr<FileDropDelegate> delegate) { delegate_ = std::move(delegate); }

  // The local files a drag carries, in order; everything else is logged and skipped.
  static std::vector<std::filesystem::path> droppedFiles(const QMimeData* data);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  std::weak_ptr<FileDropDelegate> delegate_;
};

}  // namespace ml::list
