#pragma once
// The top-level window of a list window: tells its controller when it closes, closes on Ctrl+W,
// and keeps every other key that reached it to itself. Main thread.
#include <QMainWindow>
#include <QPersistentModelIndex>
#include <functional>
#include <vector>

namespace ml::list {

class ListMainWindow final : public QMainWindow {
  Q_OBJECT
 public:
  explicit ListMainWindow(QWidget* parent = nullptr) : QMainWindow(parent) {}

  std::function<void()> willClose;
  // What Edit > Copy does in this window (the selected items' names to the clipboard).
  std::function<void()> onCopy;
  // The folders the outline has expanded, kept here so that they go with the widgets, on the
  // main thread (persistent indexes belong to their model's thread).
  std::vector<QPersistentModelIndex> expandedIndexes;

 public slots:
  // The main menu's Copy, reached when the focus is on the outline (which copies nothing itself).
  void copy() {
    if (onCopy) onCopy();
  }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace ml::list
