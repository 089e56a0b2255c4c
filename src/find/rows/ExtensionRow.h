#pragma once
// The extension line of a find window: on/off, "is" or "is not" (popup index 1 negates) and the
// extension text. Fires ExtensionCriterionUpdated, debounced 1 s while typing. Main thread.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <memory>

#include "find/FindWindowState.h"
#include "platform/store/Core.h"
#include "util/Debouncer.h"

class QWidget;

namespace ml::find {

class ExtensionRow final : public std::enable_shared_from_this<ExtensionRow> {
 public:
  static std::shared_ptr<ExtensionRow> make(QWidget* container, dispatch::Clock& clock = dispatch::Clock::system());
  explicit ExtensionRow(dispatch::Clock& clock);

  void setReactor(std::shared_ptr<store::Core<FindWindowState>> reactor) { reactor_ = std::move(reactor); }
  void controlTextDidChange();
  void onChange();
  // Fires the criterion now when typing has not settled yet (see NameRow::applyPendingText).
  void applyPendingText();

  QPointer<QCheckBox> enabledCheckbox;
  QPointer<QComboBox> typePopup;
  QPointer<QLineEdit> valueField;

 private:
  std::shared_ptr<store::Core<FindWindowState>> reactor_;
  util::Debouncer debouncer_;
};

}  // namespace ml::find
