#pragma once
// The work of each global command, apart from the store type it runs on. Each takes the items to
// act on: absent when the command was given none and the store offers no selection, present
// otherwise. Present but empty items do nothing (there is nothing to show, copy or trash),
// except for a new list, which then opens empty.
//
// Called on the store's queue; each moves to the main queue for windows, panels and alerts and to
// the background queue for file work, as its comment says.
#include <optional>
#include <string>
#include <vector>

#include "files/Path.h"
#include "shell/CommandContext.h"

namespace ml::shell::commands {

using Items = std::optional<std::vector<files::Path>>;

// Info window for the items; without items, the several-items panel asks for them.
void openFileInfo(const Items& items, const CommandContext& context);
// The file manager's information window of each item (through the script runner); without
// items, the several-items panel asks for them.
void openFinderInfo(const Items& items, const CommandContext& context);
// Opens each item with the named application or the default one.
void openPaths(const Items& items, const std::optional<std::string>& application, const CommandContext& context);
// A new list window holding the items (empty without items, or with none).
void openList(const Items& items, const CommandContext& context);
// Copies the items into a folder the user chooses; fires ItemsCopied and reports failures.
void copyItems(const Items& items, const CommandContext& context);
// Moves the items into a folder the user chooses; fires ItemsMoved and reports failures.
void moveItems(const Items& items, const CommandContext& context);
// The batch-rename dialog, as a sheet on `parent` when given; fires ItemsRenamed.
void renameItems(const std::vector<files::Path>& items, const std::shared_ptr<WindowController>& parent,
                 const CommandContext& context);
// Shows the items in the file manager.
void revealItems(const Items& items, const CommandContext& context);
// Moves the items to the Trash; fires ItemsTrashed.
void trashItems(const Items& items, const CommandContext& context);
// A new find window.
void showSearchWindow(const CommandContext& context);
// A new preferences window, announced on the global store.
void showPreferencesWindow(const CommandContext& context);

// The alert shown when a command's window is not part of this build yet; `window` names it
// ("The Info window").
appkit::Alert windowNotAvailableAlert(const std::string& window);

}  // namespace ml::shell::commands
