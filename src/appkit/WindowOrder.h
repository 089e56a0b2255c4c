#pragma once
// The application's windows from front to back. Qt does not report the stacking order, so this
// follows activation: a window moves to the front when it becomes active, and windows that were
// never active follow in the order they were shown. Only visible top-level widgets count.
//
// Thread affinity: main thread.
#include <QObject>
#include <QPointer>
#include <deque>
#include <vector>

class QWidget;

namespace ml::appkit {

class WindowOrder : public QObject {
  Q_OBJECT
 public:
  // Starts following the application's windows.
  explicit WindowOrder(QObject* parent = nullptr);

  std::vector<QWidget*> frontToBack() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::deque<QPointer<QWidget>> order_;
};

// The window that has the keyboard focus is closed (as its close button would).
void closeActiveWindow();
void minimizeActiveWindow();
// Shows and raises every visible window, the active one last so it stays in front.
void bringAllWindowsToFront();

}  // namespace ml::appkit
