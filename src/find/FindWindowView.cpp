#include "find/FindWindowView.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "platform/dispatch/QueueAssert.h"

namespace ml::find {

FindWindowView::FindWindowView() {
  ML_ASSERT_MAIN_THREAD();
  setObjectName("FindWindow");
  setWindowTitle(tr("Find"));
  auto* content = new QWidget(this);
  setCentralWidget(content);
  auto* layout = new QVBoxLayout(content);

  auto* locationLine = new QHBoxLayout();
  locations_ = new QButtonGroup(this);
  locations_->setExclusive(true);
  const QString titles[] = {tr("Local Volumes"), tr("Root"), tr("Home"), tr("Other\u2026")};
  for (int i = 0; i < 4; ++i) {
    auto* segment = new QPushButton(titles[i], content);
    segment->setObjectName(QString("locationSegment%1").arg(i));
    segment->setCheckable(true);
    locations_->addButton(segment, i);
    locationLine->addWidget(segment);
  }
  locations_->button(1)->setChecked(true);  // the state starts at the root
  // Only the root and the home folder can be searched: the other places are shown, but cannot be
  // chosen, and say why.
  for (int unsearchable : {0, 3}) {
    QAbstractButton* segment = locations_->button(unsearchable);
    segment->setEnabled(false);
    segment->setToolTip(unsearchableLocationTip());
  }
  locationLine->addStretch(1);
  layout->addLayout(locationLine);

  nameRow_ = new QWidget(content);
  extensionRow_ = new QWidget(content);
  itemTypeRow_ = new QWidget(content);
  packageRow_ = new QWidget(content);
  for (QWidget* row : {nameRow_, extensionRow_, itemTypeRow_, packageRow_}) layout->addWidget(row);

  auto* bottom = new QHBoxLayout();
  resultAction_ = new QComboBox(content);
  resultAction_->setObjectName("resultActionPopup");
  resultAction_->addItem(tr("Show results in a new list"), 0);
  resultAction_->addItem(tr("Add results to the front list"), 1);
  resultAction_->addItem(tr("Show results in an Info window"), 4);
  resultSize_ = new QComboBox(content);
  resultSize_->setObjectName("resultSizePopup");
  resultSize_->addItem(tr("All results"), 0);
  resultSize_->addItem(tr("First result"), 1);
  for (int cut : {10, 50, 100, 500, 1000}) resultSize_->addItem(tr("First %1 results").arg(cut), cut);
  search_ = new QPushButton(tr("Search"), content);
  search_->setObjectName("searchButton");
  search_->setDefault(true);
  bottom->addWidget(resultAction_);
  bottom->addWidget(resultSize_);
  bottom->addStretch(1);
  bottom->addWidget(search_);
  outcome_ = new QLabel(content);
  outcome_->setObjectName("searchOutcomeLabel");
  outcome_->setWordWrap(true);
  outcome_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  outcome_->hide();
  layout->addWidget(outcome_);
  layout->addLayout(bottom);

  sheet_ = new QDialog(this, Qt::Sheet);
  sheet_->setObjectName("progressSheetWindow");
  sheet_->setWindowModality(Qt::WindowModal);
  auto* sheetLayout = new QVBoxLayout(sheet_);
  sheetLocation_ = new QLabel(sheet_);
  sheetLocation_->setObjectName("progressSearchLocation");
  sheetCount_ = new QLabel(sheet_);
  sheetCount_->setObjectName("progressItemsFoundLabel");
  auto* sheetButtons = new QHBoxLayout();
  cancel_ = new QPushButton(tr("Cancel"), sheet_);
  cancel_->setObjectName("cancelSearchButton");
  showResults_ = new QPushButton(tr("Show Results"), sheet_);
  showResults_->setObjectName("showResultsButton");
  sheetButtons->addStretch(1);
  sheetButtons->addWidget(cancel_);
  sheetButtons->addWidget(showResults_);
  sheetLayout->addWidget(sheetLocation_);
  sheetLayout->addWidget(sheetCount_);
  sheetLayout->addLayout(sheetButtons);
}

QString FindWindowView::unsearchableLocationTip() {
  return tr("This location cannot be searched yet. Search the startup volume or your home folder instead.");
}

QPushButton* FindWindowView::locationSegment(int index) const {
  return qobject_cast<QPushButton*>(locations_->button(index));
}

void FindWindowView::closeEvent(QCloseEvent* event) {
  ML_ASSERT_MAIN_THREAD();
  if (willClose_) willClose_();
  QMainWindow::closeEvent(event);
}

}  // namespace ml::find
