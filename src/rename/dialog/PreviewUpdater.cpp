#include "rename/dialog/PreviewUpdater.h"

#include "platform/dispatch/QueueAssert.h"

namespace ml::rename {

PreviewUpdater::PreviewUpdater(PreviewTableModel* model, dispatch::Clock& clock, dispatch::Queue& main)
    : model_(model), debouncer_(kQuietInterval, clock, main) {}

void PreviewUpdater::update(const RenameDialogState& state) {
  ML_ASSERT_MAIN_THREAD();
  if (!model_) return;
  // The first rows show at once whatever the size: without a rule they cost nothing.
  if (state.items().size() <= kImmediateLimit || !shownOnce_) {
    shownOnce_ = true;
    model_->setRows(previewRows(state));
    return;
  }
  debouncer_.renewInterval([model = model_, state] {
    if (model) model->setRows(previewRows(state));
  });
}

}  // namespace ml::rename
