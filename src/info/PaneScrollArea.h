#pragma once
// The scroll area around the Info window's panes. It asks for room to show the panes whole, so the
// window opens at its full layout where the screen has the room; on a smaller screen the window
// shrinks and the panes scroll (vertically: the area is always wide enough for their narrowest
// layout), so no two rows ever overlap. Turning the mouse wheel over a pop-up or a field scrolls
// the panes, not the control's value, unless that control has the keyboard focus: scrolling past
// a date must never edit it. Main thread.
#include <QScrollArea>

namespace ml::info {

class PaneScrollArea final : public QScrollArea {
  Q_OBJECT
 public:
  explicit PaneScrollArea(QWidget* parent = nullptr);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  // The least height the area keeps: a few rows of the panes.
  static constexpr int kMinimumHeight = 160;

 signals:
  // The panes' layout has changed (another item, a comment shown): they may want another size.
  void panesChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // Room for the frame and the vertical scroll bar around a content of `content`.
  QSize around(QSize content) const;
  // Watches the wheel over the panes' value controls (those present now).
  void guardWheel();
};

}  // namespace ml::info
