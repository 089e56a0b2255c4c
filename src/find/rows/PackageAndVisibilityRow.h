#pragma once
// The visibility and package-contents line of a find window: visibility on/off with "invisible"
// (popup index 0) or "visible", and whether package contents are searched. Main thread.
#include <QCheckBox>
#include <QComboBox>
#include <QPointer>
#include <memory>

#include "find/FindWindowState.h"
#include "platform/store/Core.h"

class QWidget;

namespace ml::find {

class PackageAndVisibilityRow final {
 public:
  static std::shared_ptr<PackageAndVisibilityRow> make(QWidget* container);

  void setReactor(std::shared_ptr<store::Core<FindWindowState>> reactor) { reactor_ = std::move(reactor); }
  void onVisibilityFieldsChanged();
  void onPackageFieldChanged();

  QPointer<QCheckBox> visibilityEnabledCheckbox;
  QPointer<QCheckBox> packageEnabledCheckbox;
  QPointer<QComboBox> visibilityPopup;

 private:
  std::shared_ptr<store::Core<FindWindowState>> reactor_;
};

}  // namespace ml::find
