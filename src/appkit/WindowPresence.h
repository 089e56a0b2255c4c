#pragma once
// Keeps the application visible: shows the launcher window whenever no other top-level window
// (a widget whose window type is Qt::Window: document, list, find and preferences windows; not
// dialogs, panels, alerts or popups) is visible, and hides it while one is.
//
// Re-evaluated after each show or hide of a top-level widget (closing hides), coalesced to one check
// per turn of the event loop. Thread affinity: main thread.
#include <QObject>
#include <QPointer>

namespace ml::appkit {

class WindowPresence : public QObject {
  Q_OBJECT
 public:
  // `launcher` is not owned; it must outlive this object or be destroyed with it.
  explicit WindowPresence(QWidget& launcher, QObject* parent = nullptr);

  // Checks now instead of on the next turn of the event loop.
  void update();
  // Whether a window other than the launcher is visible.
  bool otherWindowVisible() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void scheduleUpdate();

  QPointer<QWidget> launcher_;
  bool updateScheduled_ = false;
};

}  // namespace ml::appkit
