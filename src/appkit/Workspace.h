#pragma once
// What the application asks of the desktop for items: open them, show them in the file manager,
// move them to the Trash.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Result.h"

namespace ml::appkit {

class Workspace {
 public:
  // Receives the items that went to the Trash, in the order given, and an error describing the
  // items that did not (absent when all went).
  using RecycleCompletion =
      std::function<void(std::vector<std::filesystem::path> recycled, std::optional<foundation::Error> error)>;

  virtual ~Workspace() = default;

  // Opens `item` with the named application (given the item's path, bytes unchanged), or with the
  // desktop's default handler (given its file URL) when no name is given. Returns at once;
  // failures (a missing item, an application that cannot be started, a handler that refuses)
  // are logged. Any thread.
  virtual void open(const std::filesystem::path& item, const std::optional<std::string>& application) = 0;
  // Shows the items selected in the file manager. Any thread; failures are logged.
  virtual void reveal(const std::vector<std::filesystem::path>& items) = 0;
  // Moves the items to the Trash in the background; `completion` runs on a background thread.
  virtual void recycle(std::vector<std::filesystem::path> items, RecycleCompletion completion) = 0;

  // What a trash under way is told and asked between two items (each may be empty): `itemDone`
  // after each item, gone or not; `stopRequested` before each item, and once it answers true
  // the items not begun stay where they are. An item is never left half-moved: it
  // is in the Trash with its record, or in place without one. The completion then reports the
  // items that went.
  struct RecycleProgress {
    std::function<void()> itemDone;
    std::function<bool()> stopRequested;
  };
  // recycle() with `progress`. A workspace that cannot stop between items does them all.
  virtual void recycleWithProgress(std::vector<std::filesystem::path> items, RecycleProgress progress,
                                   RecycleCompletion completion) {
    (void)progress;
    recycle(std::move(items), std::move(completion));
  }
};

// The file URL the desktop is handed for an item: "file://" and the item's absolute path with
// every byte but unreserved characters and "/" percent-encoded, so a name that is not UTF-8
// ("caf\xE9.txt") keeps its bytes ("caf%E9.txt") instead of turning into replacement characters.
std::string fileUrlText(const std::filesystem::path& item);

}  // namespace ml::appkit
