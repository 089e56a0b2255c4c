#include "find/rows/ExtensionRow.h"

#include <QHBoxLayout>
#include <QWidget>

#include "find/FindWindowEvents.h"
#include "platform/dispatch/QueueAssert.h"

namespace ml::find {

// Typing settles after a second without a keystroke: long enough not to fire per letter.
ExtensionRow::ExtensionRow(dispatch::Clock& clock) : debouncer_(std::chrono::seconds(1), clock) {}

std::shared_ptr<ExtensionRow> ExtensionRow::make(QWidget* container, dispatch::Clock& clock) {
  auto row = std::make_shared<ExtensionRow>(clock);
  auto* layout = new QHBoxLayout(container);
  layout->setContentsMargins(0, 0, 0, 0);
  row->enabledCheckbox = new QCheckBox(QObject::tr("Extension"), container);
  row->enabledCheckbox->setObjectName("extensionEnabledCheckbox");
  row->typePopup = new QComboBox(container);
  row->typePopup->setObjectName("extensionTypePopup");
  row->typePopup->addItems({QObject::tr("is"), QObject::tr("is not")});
  row->valueField = new QLineEdit(container);
  row->valueField->setObjectName("extensionValueField");
  layout->addWidget(row->enabledCheckbox);
  layout->addWidget(row->typePopup);
  layout->addWidget(row->valueField, 1);
  std::weak_ptr<ExtensionRow> weak = row;
  auto changed = [weak] {
    if (auto self = weak.lock()) self->onChange();
  };
  QObject::connect(row->enabledCheckbox, &QCheckBox::toggled, row->enabledCheckbox, changed);
  QObject::connect(row->typePopup, &QComboBox::activated, row->typePopup, changed);
  QObject::connect(row->valueField, &QLineEdit::textEdited, row->valueField, [weak] {
    if (auto self = weak.lock()) self->controlTextDidChange();
  });
  return row;
}

void ExtensionRow::controlTextDidChange() {
  ML_ASSERT_MAIN_THREAD();
  std::weak_ptr<ExtensionRow> weak = weak_from_this();
  debouncer_.renewInterval([weak] {
    if (auto self = weak.lock()) self->onChange();
  });
}

void ExtensionRow::applyPendingText() {
  ML_ASSERT_MAIN_THREAD();
  if (debouncer_.isPending()) onChange();
}

void ExtensionRow::onChange() {
  ML_ASSERT_MAIN_THREAD();
  if (!reactor_ || !enabledCheckbox || !typePopup || !valueField) return;
  reactor_->fire(ExtensionCriterionUpdated(enabledCheckbox->isChecked(), valueField->text().toStdString(),
                                           typePopup->currentIndex() == 1));
}

}  // namespace ml::find
