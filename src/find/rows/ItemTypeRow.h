#pragma once
// The item-type line of a find window: on/off with a popup of item types (files, folders,
// stationery, aliases, symbolic links and their negations), and the package requirement on/off
// with "is a package" (popup index 0) or "is not a package". A middleware of the window's store:
// it fills the item-type popup when the window has loaded. Main thread, except process().
#include <QCheckBox>
#include <QComboBox>
#include <QPointer>
#include <memory>
#include <optional>

#include "find/FindWindowState.h"
#include "platform/store/Core.h"
#include "platform/store/Middleware.h"

class QWidget;

namespace ml::find {

class ItemTypeRow final : public store::Middleware<FindWindowState>, public std::enable_shared_from_this<ItemTypeRow> {
 public:
  static std::shared_ptr<ItemTypeRow> make(QWidget* container);

  void setReactor(std::shared_ptr<store::Core<FindWindowState>> reactor) { reactor_ = std::move(reactor); }
  void populatePopups();
  void itemTypeCriterionChanged();
  void packageRequirementCriterionChanged();
  // The type the popup's item at `index` represents, if any (separators have none).
  std::optional<TypeDescriptor> descriptorAt(int index) const;

  void process(const store::Event& event, const FindWindowState& state) override;

  QPointer<QCheckBox> itemTypeEnabledCheckbox;
  QPointer<QComboBox> itemTypePopup;
  QPointer<QCheckBox> packageRequirementEnabledCheckbox;
  QPointer<QComboBox> packageRequirementPopup;

 private:
  std::shared_ptr<store::Core<FindWindowState>> reactor_;
  std::vector<std::optional<TypeDescriptor>> descriptors_;  // per popup index
};

}  // namespace ml::find
