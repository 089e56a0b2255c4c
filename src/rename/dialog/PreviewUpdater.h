#pragma once
// Keeps the preview table's rows in step with the dialog's state: after every change it applies
// the state's rule to each item's name. Up to kImmediateLimit items this happens at once; larger
// batches wait until the settings have been left alone for half a second, so that typing in a
// dialog over tens of thousands of items stays fluid. Main thread.
#include <QPointer>
#include <cstddef>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/store/Subscriber.h"
#include "rename/dialog/PreviewTableModel.h"
#include "rename/dialog/RenameDialogState.h"
#include "util/Debouncer.h"

namespace ml::rename {

class PreviewUpdater final : public store::Subscriber<RenameDialogState> {
 public:
  // A thousand names take a few milliseconds to rename and redraw: unnoticeable per keystroke.
  static constexpr std::size_t kImmediateLimit = 1000;
  static constexpr dispatch::Duration kQuietInterval = std::chrono::milliseconds(500);

  // `clock` and `main` must outlive the updater.
  PreviewUpdater(PreviewTableModel* model, dispatch::Clock& clock, dispatch::Queue& main);

  void update(const RenameDialogState& state) override;

 private:
  QPointer<PreviewTableModel> model_;
  util::Debouncer debouncer_;
  bool shownOnce_ = false;
};

}  // namespace ml::rename
