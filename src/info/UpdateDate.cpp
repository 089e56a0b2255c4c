#include "info/UpdateDate.h"

#include "files/Files.h"
#include "info/InfoWindowEvents.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/logging/Log.h"
#include "shell/AppDelegate.h"
#include "shell/ApplicationEvents.h"

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

  const auto host = state.window.lock();
  if (!host) {
    LOG_ERROR("no window to show a date sheet on. field=" << caseName(field_));
    return;
  }
  // The sheet may answer after the window's store has gone (the window closed meanwhile): its
  // answer is then dropped.
  DateCallback callback = [store = host->store(), field = field_](std::optional<files::Date> date) {
    auto core = store.lock();
    if (!core) return;
    if (date) {
      core->fire(FieldUpdated(field, *date));
    } else {
      core->fire(InterfaceInvalidated());
    }
  };

  dispatch::MainQueue::shared().async([window = state.window, field = field_, adjust = adjust_, start = *start,
                                       callback = std::move(callback)] {
    auto shownOn = window.lock();
    if (!shownOn) return;
    std::shared_ptr<shell::WindowController> sheet =
        adjust ? shownOn->makeDateAdjuster(*timestampType(field), start, callback)
               : shownOn->makeDatePicker(field, start, callback);
    if (!sheet) return;
    shownOn->beginSheet(sheet, [weakSheet = std::weak_ptr<shell::WindowController>(sheet)] {
      auto* delegate = shell::AppDelegate::shared();
      auto ended = weakSheet.lock();
      if (delegate && ended) delegate->reactor().fire(shell::ApplicationEvents::WindowClosed(ended));
    });
  });
}

}  // namespace ml::info
