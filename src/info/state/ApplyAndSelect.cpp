#include "info/state/ApplyAndSelect.h"

#include "info/state/AcceptChanges.h"
#include "info/state/InfoWindowEvents.h"

namespace ml::info {

void ApplyAndSelect::execute(const InfoWindowState& state, store::Core<InfoWindowState>& core) {
  if (!AcceptChanges::apply(state, core)) return;
  core.fire(SelectedPathUpdated(path_));
}

}  // namespace ml::info
