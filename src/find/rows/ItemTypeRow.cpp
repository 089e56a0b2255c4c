#include "find/rows/ItemTypeRow.h"

#include <QHBoxLayout>
#include <QWidget>

#include "find/FindWindowEvents.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/foundation/LocalizedStrings.h"
#include "shell/core/ApplicationEvents.h"

namespace ml::find {

using files::FileKind;

std::shared_ptr<ItemTypeRow> ItemTypeRow::make(QWidget* container) {
  auto row = std::make_shared<ItemTypeRow>();
  auto* layout = new QHBoxLayout(container);
  layout->setContentsMargins(0, 0, 0, 0);
  row->itemTypeEnabledCheckbox = new QCheckBox(QObject::tr("Item"), container);
  row->itemTypeEnabledCheckbox->setObjectName("itemTypeEnabledCheckbox");
  row->itemTypePopup = new QComboBox(container);
  row->itemTypePopup->setObjectName("itemTypePopup");
  row->packageRequirementEnabledCheckbox = new QCheckBox(QObject::tr("Item"), container);
  row->packageRequirementEnabledCheckbox->setObjectName("packageRequirementEnabledCheckbox");
  row->packageRequirementPopup = new QComboBox(container);
  row->packageRequirementPopup->setObjectName("packageRequirementPopup");
  row->packageRequirementPopup->addItems({QObject::tr("is a package"), QObject::tr("is not a package")});
  layout->addWidget(row->itemTypeEnabledCheckbox);
  layout->addWidget(row->itemTypePopup);
  layout->addStretch(1);
  layout->addWidget(row->packageRequirementEnabledCheckbox);
  layout->addWidget(row->packageRequirementPopup);
  std::weak_ptr<ItemTypeRow> weak = row;
  auto type = [weak] {
    if (auto self = weak.lock()) self->itemTypeCriterionChanged();
  };
  auto package = [weak] {
    if (auto self = weak.lock()) self->packageRequirementCriterionChanged();
  };
  QObject::connect(row->itemTypeEnabledCheckbox, &QCheckBox::toggled, row->itemTypeEnabledCheckbox, type);
  QObject::connect(row->itemTypePopup, &QComboBox::activated, row->itemTypePopup, type);
  QObject::connect(row->packageRequirementEnabledCheckbox, &QCheckBox::toggled, row->packageRequirementEnabledCheckbox,
                   package);
  QObject::connect(row->packageRequirementPopup, &QComboBox::activated, row->packageRequirementPopup, package);
  return row;
}

void ItemTypeRow::populatePopups() {
  ML_ASSERT_MAIN_THREAD();
  if (!itemTypePopup) return;
  struct Entry {
    const char* title;  // empty: a separator
    std::optional<TypeDescriptor> type;
  };
  const Entry entries[] = {
      {"Is a file", TypeDescriptor::file(FileKind::normal, false)},
      {"Is a folder", TypeDescriptor::directory()},
      {"", std::nullopt},
      {"Is stationery", TypeDescriptor::file(FileKind::stationery, false)},
      {"Is an alias", TypeDescriptor::file(FileKind::alias, false)},
      {"Is a symbolic link", TypeDescriptor::file(FileKind::symlink, false)},
      {"", std::nullopt},
      {"Is not stationery", TypeDescriptor::file(FileKind::stationery, true)},
      {"Is not an alias", TypeDescriptor::file(FileKind::alias, true)},
      {"Is not a symbolic link", TypeDescriptor::file(FileKind::symlink, true)},
  };
  itemTypePopup->clear();
  descriptors_.clear();
  for (const auto& entry : entries) {
    if (!*entry.title) {
      itemTypePopup->insertSeparator(itemTypePopup->count());
    } else {
      itemTypePopup->addItem(QString::fromStdString(foundation::localizedString(entry.title)));
    }
    descriptors_.push_back(entry.type);
  }
}

std::optional<TypeDescriptor> ItemTypeRow::descriptorAt(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= descriptors_.size()) return std::nullopt;
  return descriptors_[static_cast<size_t>(index)];
}

void ItemTypeRow::itemTypeCriterionChanged() {
  ML_ASSERT_MAIN_THREAD();
  if (!reactor_ || !itemTypePopup || !itemTypeEnabledCheckbox) return;
  auto type = descriptorAt(itemTypePopup->currentIndex());
  if (!type) return;
  const bool negated = type->asFile() ? type->asFile()->negated : false;
  reactor_->fire(FileKindCriterionUpdate(itemTypeEnabledCheckbox->isChecked(), *type, negated));
}

void ItemTypeRow::packageRequirementCriterionChanged() {
  ML_ASSERT_MAIN_THREAD();
  if (!reactor_ || !packageRequirementEnabledCheckbox || !packageRequirementPopup) return;
  reactor_->fire(PackageRequirementCriterionUpdated(packageRequirementEnabledCheckbox->isChecked(),
                                                    packageRequirementPopup->currentIndex() == 0));
}

void ItemTypeRow::process(const store::Event& event, const FindWindowState&) {
  if (!event.as<shell::WindowEvents::Loaded>()) return;
  std::weak_ptr<ItemTypeRow> weak = weak_from_this();
  dispatch::MainQueue::shared().async([weak] {
    if (auto self = weak.lock()) self->populatePopups();
  });
}

}  // namespace ml::find
