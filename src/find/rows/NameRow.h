#pragma once
// The name line of a find window: an on/off box, a popup of how the name is compared, the
// value(s) (one per line) with the history of searched names, and a case-sensitivity box. It
// fires NameCriterionUpdated (debounced 1 s while typing) and, as a middleware of the window's
// store, records the name of every search started with the row on in the preference
// "find-name-history" (most recent first, no duplicates).
//
// The popup's titles decide the criterion by their words: "contain", "start", "end", "is",
// "length", "match" pick the option (first found in that order), "or" joins with or, "not" or
// "doesn't" negates.
//
// Main thread, except process(), which runs on the store's queue and reads the controls through a
// synchronous hop to the main queue.
#include <QCheckBox>
#include <QComboBox>
#include <QPointer>
#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "find/FindWindowState.h"
#include "platform/foundation/Preferences.h"
#include "platform/store/Core.h"
#include "platform/store/Middleware.h"
#include "util/Debouncer.h"

class QWidget;

namespace ml::find {

class NameRow final : public store::Middleware<FindWindowState>, public std::enable_shared_from_this<NameRow> {
 public:
  static constexpr const char* kHistoryKey = "find-name-history";

  // Makes the controls inside `container` (laid out in a row) and reads the history.
  static std::shared_ptr<NameRow> make(QWidget* container, foundation::Preferences& preferences,
                                       dispatch::Clock& clock = dispatch::Clock::system());
  NameRow(foundation::Preferences& preferences, dispatch::Clock& clock);

  void setReactor(std::shared_ptr<store::Core<FindWindowState>> reactor) { reactor_ = std::move(reactor); }

  // Rebuilds the criterion from the controls and fires it; `sender` is the control that changed
  // (null after typing settled).
  void somethingChanged(QObject* sender);
  void controlTextDidChange();
  // Fires the criterion now when typing has not settled yet, so that what the field shows is
  // what a search started next looks for.
  void applyPendingText();

  // The history as the combo box offers it.
  int numberOfItems() const { return static_cast<int>(history_.size()); }
  std::optional<std::string> objectValue(int index) const;
  // The first history entry beginning with `typed` (a plain, case-sensitive prefix test), if any.
  // The combo box completes what the user types by this rule alone.
  std::optional<std::string> completedString(const std::string& typed) const;
  // The user edited the field to `text`: when that added to the end of what was typed, the rest
  // of the completion is put after it, selected, so typing on replaces it.
  void completeTyping(const QString& text);
  const std::vector<std::string>& history() const { return history_; }

  void process(const store::Event& event, const FindWindowState& state) override;

  QPointer<QCheckBox> enabledCheckbox;
  QPointer<QComboBox> searchTypePopup;
  QPointer<QComboBox> valueCombomBox;
  QPointer<QCheckBox> caseSensitiveCheckbox;

 private:
  void fire(std::shared_ptr<const store::Event> event);
  void reloadHistoryItems();

  std::shared_ptr<store::Core<FindWindowState>> reactor_;
  foundation::Preferences& preferences_;
  util::Debouncer debouncer_;
  std::vector<std::string> history_;
  bool isCheckingLength_ = false;
  // The field's text as last shown, and where the completion shown in it starts (none while
  // no completion is shown): the text before an edit, as the toolkit reports the edit first.
  QString shown_;
  std::optional<qsizetype> completionStart_;
  bool completing_ = false;
};

}  // namespace ml::find
