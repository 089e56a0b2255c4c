#pragma once
// A word-wrapped label inside a frameless scroll area that is as tall as the text needs, up to a
// number of lines; longer text scrolls instead of being cut or pushing the rows below it out
// of the window. Main thread.
#include <QLabel>
#include <QPointer>
#include <QScrollArea>

namespace ml::info {

class BoundedTextView final : public QScrollArea {
  Q_OBJECT
 public:
  // Shows at most `maximumLines` lines of `label` at once.
  BoundedTextView(int maximumLines, QWidget* parent = nullptr);
  // Takes `label` into the view (reparenting it, so it leaves any layout it was in).
  void setLabel(QLabel& label);

  // Sizes the view to the label's text; call after the text changes.
  void refit();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QPointer<QLabel> label_;
  int maximumLines_;
};

}  // namespace ml::info
