#include "list/window/TreeOutlineView.h"

#include <QMessageBox>
#include <QPushButton>

#include "appkit/ApplicationIcon.h"
#include "list/window/OutlineSelection.h"
#include "platform/dispatch/QueueAssert.h"

namespace ml::list {

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
