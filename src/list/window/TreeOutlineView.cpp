#include "list/window/TreeOutlineView.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

#include <optional>

#include "appkit/ApplicationIcon.h"
#include "list/window/OutlineSelection.h"
#include "platform/dispatch/QueueAssert.h"

namespace ml::list {

namespace {

// Where a context menu asked for from the keyboard points: the middle of the current row when it
// is selected and shown, else of the first selected row; null when no row is selected.
std::optional<QPoint> keyboardMenuPosition(const QTreeView& view) {
  const QRect viewport = view.viewport()->rect();
  auto middleOf = [&](const QModelIndex& index) -> std::optional<QPoint> {
    const QRect row = view.visualRect(index).intersected(viewport);
    if (row.isEmpty()) return std::nullopt;
    return row.center();
  };
  const QItemSelectionModel* selection = view.selectionModel();
  if (!selection) return std::nullopt;
  const QModelIndex current = view.currentIndex();
  if (current.isValid() && selection->isRowSelected(current.row(), current.parent())) {
    if (auto at = middleOf(current)) return at;
  }
  for (const QModelIndex& index : selection->selectedRows()) {
    if (auto at = middleOf(index)) return at;
  }
  return std::nullopt;
}

// Turns the context-menu key and Shift+F10 on the view into a request at the selected row.
class KeyboardContextMenu final : public QObject {
 public:
  explicit KeyboardContextMenu(QTreeView& view) : QObject(&view), view_(view) { view.installEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != &view_ || view_.contextMenuPolicy() != Qt::CustomContextMenu) return false;
    bool asked = false;
    if (event->type() == QEvent::KeyPress) {
      const auto* key = static_cast<QKeyEvent*>(event);
      const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
      asked = (key->key() == Qt::Key_Menu && modifiers == Qt::NoModifier) ||
              (key->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier);
    } else if (event->type() == QEvent::ContextMenu) {
      // Some platforms send the key as a context-menu event of their own, placed at the pointer.
      asked = static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard;
    }
    if (!asked) return false;
    if (auto at = keyboardMenuPosition(view_)) emit view_.customContextMenuRequested(*at);
    return true;
  }

 private:
  QTreeView& view_;
};

}  // namespace

TreeOutlineView::TreeOutlineView(QTreeView* view, ListOutlineModel* model) : view_(view), model_(model) {
  // Owned by the view, so it lives exactly as long as the widget does.
  if (view) new KeyboardContextMenu(*view);
}

std::vector<std::shared_ptr<PathListItem>> TreeOutlineView::selectedItems() const {
  ML_ASSERT_MAIN_THREAD();
  std::vector<std::shared_ptr<PathListItem>> rows;
  if (!view_ || !model_) return rows;
  for (const QModelIndex& index : list::selectedItems(*view_)) {
    if (PathListItem* row = model_->item(index)) rows.push_back(row->shared_from_this());
  }
  return rows;
}

void TreeOutlineView::deselectAll() {
  ML_ASSERT_MAIN_THREAD();
  if (view_) view_->clearSelection();
}

void TreeOutlineView::beginSheet(const appkit::Alert& alert) {
  ML_ASSERT_MAIN_THREAD();
  if (!view_) return;
  auto* box = new QMessageBox(view_->window());  // deletes itself when closed
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::WindowModal);
  switch (alert.style) {
    case appkit::Alert::Style::informational: box->setIcon(QMessageBox::Information); break;
    case appkit::Alert::Style::warning: box->setIcon(QMessageBox::Warning); break;
    case appkit::Alert::Style::critical: box->setIcon(QMessageBox::Critical); break;
  }
  if (alert.applicationIcon) box->setIconPixmap(appkit::applicationIcon().pixmap(64, 64));
  box->setText(QString::fromStdString(alert.messageText));
  if (!alert.informativeText.empty()) box->setInformativeText(QString::fromStdString(alert.informativeText));
  const std::vector<std::string> titles = alert.buttons.empty() ? std::vector<std::string>{"OK"} : alert.buttons;
  QPushButton* first = nullptr;
  for (const auto& title : titles) {
    QPushButton* button = box->addButton(QString::fromStdString(title), QMessageBox::ActionRole);
    if (!first) first = button;
  }
  box->setDefaultButton(first);
  box->open();
}

}  // namespace ml::list
