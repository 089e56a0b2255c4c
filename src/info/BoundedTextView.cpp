#include "info/BoundedTextView.h"

#include <QResizeEvent>
#include <QScrollBar>
#include <algorithm>

namespace ml::info {

BoundedTextView::BoundedTextView(int maximumLines, QWidget* parent)
    : QScrollArea(parent), maximumLines_(std::max(1, maximumLines)) {
  setFrameShape(QFrame::NoFrame);
  setWidgetResizable(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  viewport()->setAutoFillBackground(false);
}

void BoundedTextView::setLabel(QLabel& label) {
  label_ = &label;
  label.setWordWrap(true);
  label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setWidget(&label);
  label.setAutoFillBackground(false);
  refit();
}

void BoundedTextView::refit() {
  if (!label_) return;
  const int lines = label_->fontMetrics().lineSpacing();
  // The width the label gets: the view's, less a scroll bar that may show.
  const int width = std::max(1, this->width() - verticalScrollBar()->sizeHint().width());
  const int needed = label_->text().isEmpty() ? lines : label_->heightForWidth(width);
  const int shown = std::clamp(needed, lines, lines * maximumLines_);
  if (height() != shown) setFixedHeight(shown);
}

void BoundedTextView::resizeEvent(QResizeEvent* event) {
  QScrollArea::resizeEvent(event);
  if (event->oldSize().width() != event->size().width()) refit();
}

}  // namespace ml::info
