#include "info/UpdateDate.h"

#include "files/Files.h"
#include "info/state/InfoWindowEvents.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/logging/Log.h"
#include "shell/GlobalState.h"
#include "shell/core/ApplicationEvents.h"

namespace ml::info {

namespace {

std::optional<files::Date> startingDate(EditableField field, const files::ItemDates& dates) {
  switch (field) {
    case EditableField::created: return dates.creation;
    case EditableField::modified: return dates.modification;
    case EditableField::accessed: return dates.access;
    default: return std::nullopt;
  }
}

}  // namespace

void UpdateDate::execute(const InfoWindowState& state, store::Core<InfoWindowState>&) {
  const auto shown = state.displayedPath();
  if (!shown) return;
  const auto dates = files::Files::dates(*shown);
  if (!dates) return;
  const auto start = startingDate(field_, *dates);
  if (!start) return;

  // The window is reached on the main thread only: this queue must never hold the last
  // reference to it (its store would then be destroyed from its own queue).
  dispatch::MainQueue::shared().async([window = state.window, field = field_, adjust = adjust_, start = *start,
                                       item = *shown] {
    auto host = window.lock();
    if (!host) return;
    // The sheet may answer after the window's store has gone: its answer is then dropped.
    DateCallback callback = [store = host->store(), field, item](std::optional<files::Date> date) {
      auto core = store.lock();
      if (!core) return;
      if (date) {
        core->fire(FieldUpdated(field, *date, item));
      } else {
        core->fire(InterfaceInvalidated());
      }
    };
    std::shared_ptr<shell::WindowController> sheet =
        adjust ? host->makeDateAdjuster(*timestampType(field), start, std::move(callback))
               : host->makeDatePicker(field, start, std::move(callback));
    if (!sheet) return;
    host->beginSheet(sheet, [weakSheet = std::weak_ptr<shell::WindowController>(sheet), global = host->globalStore()] {
      auto ended = weakSheet.lock();
      if (global && ended) global->fire(shell::ApplicationEvents::WindowClosed(ended));
    });
  });
}

}  // namespace ml::info
