#include "list/commands/CopyNames.h"

#include "appkit/Pasteboard.h"
#include "list/rows/PathNames.h"
#include "platform/dispatch/MainQueue.h"

namespace ml::list {

void CopyNames::execute(const ListWindowState& state, ListStore&) {
  std::string text;
  bool first = true;
  for (const auto& item : state.selectedItems()) {
    if (!first) text += '\n';
    text += lastPathComponent(item.url());
    first = false;
  }
  // The clipboard belongs to the main thread.
  dispatch::MainQueue::shared().async([text = std::move(text)] { appkit::Pasteboard::setString(text); });
}

}  // namespace ml::list
