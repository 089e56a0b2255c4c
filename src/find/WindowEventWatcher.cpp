#include "find/WindowEventWatcher.h"

#include <QStandardItemModel>

#include "files/Collections.h"
#include "platform/dispatch/QueueAssert.h"
#include "shell/core/WindowController.h"

namespace ml::find {

void WindowEventWatcher::update(const shell::GlobalState& state) {
  ML_ASSERT_MAIN_THREAD();
  if (!popup) return;
  const bool listOpen = files::anySatisfy(state.activeWindows, [](const auto& controller) {
    return dynamic_cast<const shell::ListWindowController*>(controller.get()) != nullptr;
  });
  const int index = popup->findData(1);
  auto* model = qobject_cast<QStandardItemModel*>(popup->model());
  if (index < 0 || !model) return;
  if (QStandardItem* item = model->item(index)) item->setEnabled(listOpen);
  if (!listOpen && popup->currentIndex() == index) popup->setCurrentIndex(0);
}

}  // namespace ml::find
