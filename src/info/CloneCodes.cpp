#include "info/CloneCodes.h"

#include "files/FileSystem.h"
#include "info/state/InfoWindowEvents.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/logging/Log.h"
#include "shell/Dialogs.h"

namespace ml::info {

namespace {

FieldValue code(const std::optional<std::string>& value) {
  if (!value) return std::nullopt;
  return *value;
}

}  // namespace

void CloneCodes::execute(const InfoWindowState& state, store::Core<InfoWindowState>&) {
  // The window is reached on the main thread only (see UpdateDate). The panel is modeless: the
  // window may close before the user answers, and the answer is then dropped with its store.
  // The codes are for the item shown now; should another be shown by the answer, they are dropped.
  const auto shown = state.displayedPath();
  if (!shown) return;
  dispatch::MainQueue::shared().async([window = state.window, codes = codes_, item = *shown] {
    auto host = window.lock();
    if (!host) {
      LOG_ERROR("no window to clone codes into");
      return;
    }
    shell::Dialogs(host->openPanels()).chooseFile(true, [store = host->store(), codes, item](files::Path chosen) {
      auto finder = chosen.fileSystem().finderAttributes(chosen);
      const FieldValue type = finder ? code(finder->typeCode()) : std::nullopt;
      const FieldValue creator = finder ? code(finder->creatorCode()) : std::nullopt;
      auto core = store.lock();
      if (!core) return;
      switch (codes) {
        case ClonedCodes::creator:
          core->fire(FieldUpdated(EditableField::creatorCode, creator, item));
          break;
        case ClonedCodes::fileType:
          core->fire(FieldUpdated(EditableField::typeCode, type, item));
          break;
        case ClonedCodes::typeAndCreator:
          core->fire(FieldsUpdated({{EditableField::creatorCode, creator}, {EditableField::typeCode, type}}, item));
          break;
      }
    });
  });
}

}  // namespace ml::info
