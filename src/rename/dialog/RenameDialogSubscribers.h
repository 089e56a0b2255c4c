#pragma once
// The small subscribers that keep the rename dialog's controls in step with its state. Each
// holds the controls it updates weakly (a control gone with its window is skipped) and gets the
// whole state on the main queue after every change. Main thread.
#include <QAbstractButton>
#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

#include "platform/store/Subscriber.h"
#include "rename/dialog/RenameDialogState.h"

namespace ml::rename {

using DialogSubscriber = store::Subscriber<RenameDialogState>;

// Shows and hides the name-change controls by mode (NameChangeVisibility).
class NameChangeInterfaceUpdater final : public DialogSubscriber {
 public:
  struct Controls {
    QPointer<QWidget> mode;  // never hidden
    QPointer<QWidget> pattern;
    QPointer<QWidget> replacement;
    QPointer<QWidget> locations;
    QPointer<QWidget> warningContainer;
    QPointer<QWidget> warningText;
    QPointer<QWidget> warningIcon;
    QPointer<QWidget> occurancesAndLocationsContainer;
    QPointer<QWidget> withLabel;
  };
  explicit NameChangeInterfaceUpdater(Controls controls) : controls_(std::move(controls)) {}
  void update(const RenameDialogState& state) override;

 private:
  Controls controls_;
};

// Follows one condition of the state: with `disable`, the view is enabled exactly while the
// predicate holds; otherwise it is shown exactly while it holds.
class ViewToggler final : public DialogSubscriber {
 public:
  ViewToggler(QWidget* view, bool disable, std::function<bool(const RenameDialogState&)> predicate)
      : view_(view), disable_(disable), predicate_(std::move(predicate)) {}
  void update(const RenameDialogState& state) override;

 private:
  QPointer<QWidget> view_;
  bool disable_;
  std::function<bool(const RenameDialogState&)> predicate_;
};

// The length-limit checkbox shows whether the limit is on.
class NameTrimUpdated final : public DialogSubscriber {
 public:
  explicit NameTrimUpdated(QAbstractButton* checkbox) : checkbox_(checkbox) {}
  void update(const RenameDialogState& state) override;

 private:
  QPointer<QAbstractButton> checkbox_;
};

// "Items to rename: n": the items the rule gives a new name, files and folders alike, which are
// the items the confirmation will offer to rename.
class ApplicableItemsUpdater final : public DialogSubscriber {
 public:
  explicit ApplicableItemsUpdater(QLabel* field) : field_(field) {}
  void update(const RenameDialogState& state) override;

 private:
  QPointer<QLabel> field_;
};

// The execute button is enabled while the settings make a rule to apply; while it is not, the
// label beside it (when there is one) says why.
class ExecuteButtonToggle final : public DialogSubscriber {
 public:
  explicit ExecuteButtonToggle(QAbstractButton* button, QLabel* problem = nullptr) : button_(button), problem_(problem) {}
  void update(const RenameDialogState& state) override;

 private:
  QPointer<QAbstractButton> button_;
  QPointer<QLabel> problem_;
};

}  // namespace ml::rename
