#pragma once
// The preferences window's top-level widget. It asks its controller before it closes (the close
// button, File > Close) and tells it once it has closed; the controller decides about unsaved
// edits. Without those hooks it closes like any window. Escape that no control of the window took
// (an open pop-up closes itself first) closes it the same way.
//
// Thread affinity: main thread.
#include <QMainWindow>
#include <functional>

namespace ml::shell {

class PreferencesWindow final : public QMainWindow {
  Q_OBJECT
 public:
  explicit PreferencesWindow(QWidget* parent = nullptr);

  // Asked before closing; false keeps the window open.
  void setShouldClose(std::function<bool()> shouldClose) { shouldClose_ = std::move(shouldClose); }
  // Called after the window has closed.
  void setDidClose(std::function<void()> didClose) { didClose_ = std::move(didClose); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::function<bool()> shouldClose_;
  std::function<void()> didClose_;
};

}  // namespace ml::shell
