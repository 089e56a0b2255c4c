#include "find/rows/PackageAndVisibilityRow.h"

#include <QHBoxLayout>
#include <QWidget>

#include "find/FindWindowEvents.h"
#include "platform/dispatch/QueueAssert.h"

namespace ml::find {

std::shared_ptr<PackageAndVisibilityRow> PackageAndVisibilityRow::make(QWidget* container) {
  auto row = std::make_shared<PackageAndVisibilityRow>();
  auto* layout = new QHBoxLayout(container);
  layout->setContentsMargins(0, 0, 0, 0);
  row->visibilityEnabledCheckbox = new QCheckBox(QObject::tr("Items that are"), container);
  row->visibilityEnabledCheckbox->setObjectName("visibilityEnabledCheckbox");
  row->visibilityPopup = new QComboBox(container);
  row->visibilityPopup->setObjectName("visibilityPopup");
  row->visibilityPopup->addItems({QObject::tr("invisible"), QObject::tr("visible")});
  row->packageEnabledCheckbox = new QCheckBox(QObject::tr("Search package contents"), container);
  row->packageEnabledCheckbox->setObjectName("packageEnabledCheckbox");
  layout->addWidget(row->visibilityEnabledCheckbox);
  layout->addWidget(row->visibilityPopup);
  layout->addStretch(1);
  layout->addWidget(row->packageEnabledCheckbox);
  std::weak_ptr<PackageAndVisibilityRow> weak = row;
  auto visibility = [weak] {
    if (auto self = weak.lock()) self->onVisibilityFieldsChanged();
  };
  QObject::connect(row->visibilityEnabledCheckbox, &QCheckBox::toggled, row->visibilityEnabledCheckbox, visibility);
  QObject::connect(row->visibilityPopup, &QComboBox::activated, row->visibilityPopup, visibility);
  QObject::connect(row->packageEnabledCheckbox, &QCheckBox::toggled, row->packageEnabledCheckbox, [weak] {
    if (auto self = weak.lock()) self->onPackageFieldChanged();
  });
  return row;
}

void PackageAndVisibilityRow::onVisibilityFieldsChanged() {
  ML_ASSERT_MAIN_THREAD();
  if (!reactor_ || !visibilityEnabledCheckbox || !visibilityPopup) return;
  reactor_->fire(VisibiltyCriterionUpdated(visibilityEnabledCheckbox->isChecked(), visibilityPopup->currentIndex() == 0));
}

void PackageAndVisibilityRow::onPackageFieldChanged() {
  ML_ASSERT_MAIN_THREAD();
  if (!reactor_ || !packageEnabledCheckbox) return;
  reactor_->fire(PackageCriterionUpdated(packageEnabledCheckbox->isChecked()));
}

}  // namespace ml::find
