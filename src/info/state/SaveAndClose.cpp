#include "info/state/SaveAndClose.h"

#include "info/state/AcceptChanges.h"
#include "platform/dispatch/MainQueue.h"

namespace ml::info {

void SaveAndClose::execute(const InfoWindowState& state, store::Core<InfoWindowState>& core) {
  if (!AcceptChanges::apply(state, core)) return;
  if (closeWindow_) dispatch::MainQueue::shared().async(closeWindow_);
}

}  // namespace ml::info
