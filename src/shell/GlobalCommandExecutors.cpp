#include "shell/GlobalCommandExecutors.h"

#include <utility>

#include "appkit/FinderScripts.h"
#include "appkit/ItemPath.h"
#include "files/FileSystem.h"
#include "platform/foundation/LocalizedStrings.h"
#include "platform/logging/Log.h"
#include "shell/core/ApplicationEvents.h"
#include "shell/core/PathList.h"

namespace ml::shell::commands {

namespace fs = std::filesystem;
using appkit::Alert;
using files::Path;

namespace {

std::string localized(std::string_view text) { return foundation::localizedString(text); }

// Items present but empty: nothing to act on. Logged, so that a window asking with an empty
// selection can be told apart from a command that was never fired.
bool nothingToActOn(const Items& items, const char* command) {
  if (!items || !items->empty()) return false;
  LOG_DEBUG("no items to act on; nothing done. command=" << command);
  return true;
}

void showAlertOnMain(const CommandContext& context, Alert alert) {
  context.services.main->async([alerts = context.services.alerts, alert = std::move(alert)] {
    if (alerts) alerts->runModal(alert);
  });
}

void tellWindowNotAvailable(const CommandContext& context, const std::string& window) {
  LOG_WARNING("window not available in this build. window=" << window);
  showAlertOnMain(context, windowNotAvailableAlert(window));
}

// The item's place inside `folder`: the folder's path with the item's name appended (also for
// an item written with a trailing separator, "/a/dir/").
Path destinationIn(const Path& folder, const Path& item) {
  return Path(folder.sharedFileSystem(), appkit::canonicalItemPath(folder.url()) / appkit::itemName(item.url()));
}

// Whether the item would land on itself, whichever way either path is written.
bool ontoItself(const std::pair<Path, Path>& pair) {
  return appkit::canonicalItemPath(pair.first.url()) == appkit::canonicalItemPath(pair.second.url());
}

// One entry per source, in the order given: an item given twice is handled once.
PathMapping pairedWithDestinations(const std::vector<Path>& items, const Path& folder) {
  PathMapping pairs;
  for (const auto& item : items) {
    bool seen = false;
    for (const auto& pair : pairs) seen = seen || pair.first == item;
    if (!seen) pairs.emplace_back(item, destinationIn(folder, item));
  }
  return pairs;
}

struct Failure {
  Path source;
  foundation::Error error;
};

// Tells the user which items failed, with each one's reason.
Alert failureAlert(const std::string& message, const std::vector<Failure>& failures) {
  Alert alert;
  alert.style = Alert::Style::warning;
  alert.applicationIcon = true;
  alert.messageText = localized(message);
  for (const auto& failure : failures) {
    if (!alert.informativeText.empty()) alert.informativeText += "\n";
    alert.informativeText += "\u201C" + appkit::itemName(failure.source.url()).string() + "\u201D: " + failure.error.message;
  }
  return alert;
}

// In the background: copies each pair, announces the copies made and reports the failures.
void doCopy(const PathMapping& pairs, const CommandContext& context) {
  PathMapping copied;
  std::vector<Failure> failures;
  for (const auto& [source, destination] : pairs) {
    auto status = source.fileSystem().copy(source, destination);
    if (!status) {
      LOG_ERROR("failed to copy file. source=" << source.description() << " destination=" << destination.description()
                                               << " error=" << status.error());
      failures.push_back({source, status.error()});
      continue;
    }
    copied.emplace_back(source, destination);
  }
  if (!copied.empty()) context.fire(std::make_shared<const ItemsCopied>(std::move(copied)));
  if (!failures.empty()) showAlertOnMain(context, failureAlert("Some items could not be copied.", failures));
}

void runFinderInfoScript(const Path& item, const CommandContext& context) {
  std::string path = item.description();
  std::string script = appkit::finder_scripts::openInformationWindow(path, item.fileSystem().isDirectory(item));
  if (!context.services.scriptRunner) {
    LOG_ERROR("failed to create script. path=[" << path << "]");
    return;
  }
  auto outcome = context.services.scriptRunner->run(script);
  if (!outcome.created) {
    LOG_ERROR("failed to create script. path=[" << path << "]");
    return;
  }
  LOG_DEBUG("script created successfully. path=[" << path << "]");
  if (outcome.error) {
    LOG_ERROR("failed to execute script. path=[" << path << "] error=[" << outcome.error->description() << "]");
  } else {
    LOG_DEBUG("AppleScript for finder info successful. path=[" << path << "]");
  }
}

void runInfoController(const std::vector<Path>& items, const CommandContext& context) {
  context.services.main->async([items, context] {
    if (!context.services.windows.info) {
      tellWindowNotAvailable(context, "The Info window");
      return;
    }
    auto controller = context.services.windows.info();
    if (!controller) return;
    controller->initialize(items);
    LOG_VERBOSE("showing info window. files=" << PathList{items});
    controller->show();
  });
}

}  // namespace

Alert windowNotAvailableAlert(const std::string& window) {
  Alert alert;
  alert.style = Alert::Style::informational;
  alert.applicationIcon = true;
  alert.messageText = localized(window + " is not available yet.");
  alert.informativeText = localized("This version of Marrowlane does not include it.");
  return alert;
}

void openFileInfo(const Items& items, const CommandContext& context) {
  if (nothingToActOn(items, "fileInfo")) return;
  if (items) {
    runInfoController(*items, context);
    return;
  }
  LOG_DEBUG("no files provided. showing file chooser");
  context.services.openPanels->chooseFiles(true, true, [context](std::vector<fs::path> chosen) {
    if (chosen.empty()) return;
    runInfoController(pathsOnDefaultFileSystem(chosen), context);
  });
}

void openFinderInfo(const Items& items, const CommandContext& context) {
  if (nothingToActOn(items, "finderInfo")) return;
  if (items) {
    for (const auto& item : *items) runFinderInfoScript(item, context);
    return;
  }
  context.services.openPanels->chooseFiles(true, true, [context](std::vector<fs::path> chosen) {
    for (const auto& item : pathsOnDefaultFileSystem(chosen)) runFinderInfoScript(item, context);
  });
}

void openPaths(const Items& items, const std::optional<std::string>& application, const CommandContext& context) {
  if (!items) {
    LOG_ERROR("there is no scenario where we ask which files to open");
    return;
  }
  for (const auto& item : *items) context.services.workspace->open(item.url(), application);
}

// Unlike the other verbs, an empty list is something to show: a folder with nothing in it
// lists as an empty window, and the user can drop items into it.
void openList(const Items& items, const CommandContext& context) {
  std::vector<Path> paths = items.value_or(std::vector<Path>{});
  LOG_VERBOSE("creating list window. top-level-paths=" << PathList{paths});
  context.services.main->async([paths, context] {
    if (!context.services.windows.list) {
      tellWindowNotAvailable(context, "The list window");
      return;
    }
    auto controller = context.services.windows.list();
    if (!controller) return;
    if (!paths.empty()) controller->addItems(paths);
    LOG_DEBUG("showing list window...");
    controller->show();
  });
}

void copyItems(const Items& items, const CommandContext& context) {
  if (!items || nothingToActOn(items, "copy")) return;
  LOG_DEBUG("getting destination for copy operation. files=" << PathList{*items});
  context.services.openPanels->chooseDirectory([items = *items, context](fs::path chosen) {
    Path folder(files::FileSystems::defaultFileSystem(), chosen);
    PathMapping elsewhere;
    bool anyOntoItself = false;
    for (auto& pair : pairedWithDestinations(items, folder)) {
      if (ontoItself(pair)) {
        anyOntoItself = true;
      } else {
        elsewhere.push_back(std::move(pair));
      }
    }
    if (!anyOntoItself) {
      doCopy(elsewhere, context);
      return;
    }
    context.services.main->async([elsewhere, context] {
      Alert alert;
      alert.style = Alert::Style::warning;
      alert.applicationIcon = true;
      alert.messageText = localized("At least one of the items copied would be copying over itself.");
      alert.informativeText =
          localized("You can skip those items and continue copying the rest, or cancel copying all items.");
      alert.buttons = {localized("Continue Copying"), localized("Cancel")};
      if (context.services.alerts->runModal(alert) != appkit::kFirstButtonReturn) return;
      context.services.background->async([elsewhere, context] { doCopy(elsewhere, context); });
    });
  });
}

void moveItems(const Items& items, const CommandContext& context) {
  if (!items || nothingToActOn(items, "move")) return;
  context.services.openPanels->chooseDirectory([items = *items, context](fs::path chosen) {
    Path folder(files::FileSystems::defaultFileSystem(), chosen);
    PathMapping pairs = pairedWithDestinations(items, folder);
    std::erase_if(pairs, ontoItself);
    if (pairs.empty()) {
      Alert alert;
      alert.style = Alert::Style::informational;
      alert.applicationIcon = true;
      alert.messageText = localized("No items needed to be moved to") + " \"" + appkit::itemName(chosen).string() + "\"";
      showAlertOnMain(context, std::move(alert));
      return;
    }
    // Still in the background, where the folder panel called back.
    PathMapping moved;
    std::vector<Failure> failures;
    for (const auto& [source, destination] : pairs) {
      auto status = source.fileSystem().move(source, destination);
      if (!status) {
        LOG_ERROR("failed to move file. source=" << source.description() << " destination="
                                                 << destination.description() << " error=" << status.error());
        failures.push_back({source, status.error()});
        continue;
      }
      moved.emplace_back(source, destination);
    }
    if (!moved.empty()) context.fire(std::make_shared<const ItemsMoved>(std::move(moved)));
    if (!failures.empty()) showAlertOnMain(context, failureAlert("Some items could not be moved.", failures));
  });
}

void renameItems(const std::vector<Path>& items, const std::shared_ptr<WindowController>& parent,
                 const CommandContext& context) {
  if (items.empty()) {
    LOG_DEBUG("no items to act on; nothing done. command=rename");
    return;
  }
  context.services.main->async([items, parent, context] {
    if (!context.services.windows.renameDialog) {
      tellWindowNotAvailable(context, "The rename window");
      return;
    }
    auto dialog = context.services.windows.renameDialog(items);
    if (!dialog) return;
    if (!parent || !dialog->hasWindow()) {
      dialog->show();
      return;
    }
    dialog->beginSheet(parent, [items, parent, dialog, context](int response) {
      if (response != kRenameDialogContinueResponse) return;
      auto rule = dialog->rule();
      if (!rule) {
        LOG_WARNING("rename dialog asked to rename without a rule; nothing renamed");
        return;
      }
      std::vector<Path> applicable;
      for (const auto& item : items) {
        std::string oldName = appkit::itemName(item.url()).string();
        auto newName = rule->apply(oldName);
        if (!newName) {
          LOG_WARNING("failed to apply name change");
          continue;
        }
        bool same = *newName == oldName;
        LOG_DEBUG(*newName << " == " << oldName << " ? " << (same ? "true" : "false"));
        if (!same) applicable.push_back(item);
      }
      if (!context.services.windows.renameConfirmation) {
        tellWindowNotAvailable(context, "The rename confirmation");
        return;
      }
      auto confirmation = context.services.windows.renameConfirmation(applicable, rule);
      if (!confirmation) return;
      confirmation->beginSheet(parent, [confirmation, context] {
        PathMapping renamed = confirmation->results();
        if (renamed.empty()) return;
        auto event = std::make_shared<const ApplicationEvents::ItemsRenamed>(std::move(renamed));
        context.fire(event);
        context.fireGlobal(event);
      });
    });
  });
}

void revealItems(const Items& items, const CommandContext& context) {
  if (!items || nothingToActOn(items, "reveal")) return;
  context.services.workspace->reveal(fileSystemPaths(*items));
}

void trashItems(const Items& items, const CommandContext& context) {
  if (!items || nothingToActOn(items, "trash")) return;
  LOG_INFO("recycling item. items=" << PathList{*items});
  context.services.workspace->recycle(fileSystemPaths(*items), [context](std::vector<fs::path> recycled,
                                                                         std::optional<foundation::Error> error) {
    context.fire(std::make_shared<const ItemsTrashed>(pathsOnDefaultFileSystem(recycled), std::move(error)));
  });
}

void showSearchWindow(const CommandContext& context) {
  context.services.main->async([context] {
    if (!context.services.windows.find) {
      tellWindowNotAvailable(context, "The find window");
      return;
    }
    auto controller = context.services.windows.find();
    if (!controller) return;
    LOG_VERBOSE("showing search window");
    controller->show();
  });
}

void showPreferencesWindow(const CommandContext& context) {
  context.services.main->async([context] {
    if (!context.services.windows.preferences) {
      tellWindowNotAvailable(context, "The preferences window");
      return;
    }
    auto controller = context.services.windows.preferences();
    if (!controller) return;
    context.fireGlobal(std::make_shared<const ApplicationEvents::WindowOpened>(controller));
    LOG_INFO("showing preferences window");
    controller->show();
  });
}

}  // namespace ml::shell::commands
