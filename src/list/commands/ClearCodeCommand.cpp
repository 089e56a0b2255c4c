#include "list/commands/ClearCodeCommand.h"

#include "files/FileSystem.h"
#include "files/MutableAppleAttributes.h"
#include "list/state/ListEvents.h"
#include "platform/logging/Log.h"

namespace ml::list {

void ClearCreatorCommand::clear(files::MutableAppleAttributes& record) const { record.setCreatorCode(std::nullopt); }
void ClearTypeCommand::clear(files::MutableAppleAttributes& record) const { record.setTypeCode(std::nullopt); }

void ClearCodeCommand::execute(const ListWindowState& state, ListStore& core) {
  for (const auto& item : state.selectedItems()) {
    const auto& fs = item.fileSystem();
    auto view = fs.finderAttributes(item);
    if (!view) {
      LOG_WARNING("failed to clear " << codeName() << " for " << item.description()
                                     << ". error=the item's attributes cannot be read");
      continue;
    }
    files::MutableAppleAttributes record(*view);
    clear(record);
    auto status = fs.updateFinderAttributes(item, record);
    if (!status) LOG_WARNING("failed to clear " << codeName() << " for " << item.description() << ". error=" << status.error());
  }
  core.fire(LoadedDataInvalidated{});
}

}  // namespace ml::list
