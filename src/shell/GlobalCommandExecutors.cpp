#include "shell/GlobalCommandExecutors.h"

#include <QLocale>
#include <sstream>
#include <unordered_set>
#include <utility>

#include "appkit/Application.h"
#include "appkit/FinderScripts.h"
#include "appkit/ItemPath.h"
#include "files/FileSystem.h"
#include "files/VisibleName.h"
#include "platform/darwin/FileManager.h"
#include "platform/foundation/LocalizedStrings.h"
#include "platform/logging/Log.h"
#include "rename/mover/RenameFailure.h"
#include "shell/core/ApplicationEvents.h"
#include "shell/core/PathList.h"

namespace ml::shell::commands {

namespace fs = std::filesystem;
using appkit::Alert;
using files::Path;

namespace {

std::string localized(std::string_view text) { return foundation::localizedString(text); }

// `text` with "%@" replaced by `value`.
std::string filledIn(std::string text, const std::string& value) {
  if (auto at = text.find("%@"); at != std::string::npos) text.replace(at, 2, value);
  return text;
}

// A name (or a path below the target folder) as an alert shows it: its control characters as
// visible marks, so a newline cannot break the line, and a long run without spaces breakable, so a
// 255-byte name cannot make the alert wider than the screen.
std::string shownInAlert(std::string_view name) { return rename::breakableText(files::visibleName(name)); }

// An extended attribute as the user knows it: those that this application and the desktop
// write, by what they hold; any other by its own name, made visible.
std::string attributeInWords(const std::string& name) {
  static const std::pair<std::string_view, std::string_view> kKnown[] = {
      {"user.com.apple.FinderInfo", "type, creator and flags"},
      {"user.com.apple.ResourceFork", "resource fork"},
      {"user.com.apple.metadata:kMDItemFinderComment", "comment"},
      {"user.com.apple.metadata:_kMDItemUserTags", "tags"},
      {"user.org.marrowlane.creationDate", "created date"},
      {"user.xdg.comment", "comment"},
      {"user.xdg.origin.url", "download address"},
      {"user.xdg.referrer.url", "download page"},
      {"user.xdg.tags", "tags"},
  };
  for (const auto& [system, words] : kKnown) {
    if (name == system) return localized(words);
  }
  return files::visibleName(name);
}

// Items present but empty: nothing to act on. Logged, so that a window asking with an empty
// selection can be told apart from a command that was never fired.
bool nothingToActOn(const Items& items, const char* command) {
  if (!items || !items->empty()) return false;
  LOG_DEBUG("no items to act on; nothing done. command=" << command);
  return true;
}

// Once the application is shutting down no one is left to answer an alert: it is logged instead.
void showAlertOnMain(const CommandContext& context, Alert alert) {
  context.services.main->async([alerts = context.services.alerts, alert = std::move(alert)] {
    if (appkit::Application::shuttingDown()) {
      LOG_WARNING("alert not shown while shutting down. message=" << alert.messageText);
      return;
    }
    if (alerts) alerts->runModal(alert);
  });
}

void tellWindowNotAvailable(const CommandContext& context, const std::string& window) {
  LOG_WARNING("window not available in this build. window=" << window);
  showAlertOnMain(context, windowNotAvailableAlert(window));
}

// Where copies and moves of `source` go through the platform's own file manager, which says
// which attributes the target could not keep; other file systems copy and move themselves.
bool onPlatformFileManager(const Path& source, const Path& destination) {
  const auto& platform = files::FileSystems::defaultFileSystem();
  return source.sharedFileSystem() == platform && destination.sharedFileSystem() == platform;
}

// `abandon`: set when the item in progress is to be given up (only the platform's file manager
// looks at it; other file systems finish the item).
foundation::Status transfer(Transfer kind, const Path& source, const Path& destination,
                            darwin::UnkeptAttributes& unkept, const darwin::Abandon* abandon) {
  if (onPlatformFileManager(source, destination)) {
    return kind == Transfer::copy ? darwin::copyItem(source.url(), destination.url(), unkept, abandon)
                                  : darwin::moveItem(source.url(), destination.url(), unkept, abandon);
  }
  return kind == Transfer::copy ? source.fileSystem().copy(source, destination)
                                : source.fileSystem().move(source, destination);
}

// Whether the item would land on itself, whichever way either path is written.
bool ontoItself(const std::pair<Path, Path>& pair) {
  return appkit::canonicalItemPath(pair.first.url()) == appkit::canonicalItemPath(pair.second.url());
}

// One entry per source, in the order given: an item given twice is handled once. Linear, so that
// a selection of tens of thousands of items starts at once.
PathMapping pairedWithDestinations(const std::vector<Path>& items, const Path& folder) {
  // The item's place inside the folder: the folder's path with the item's name appended (also
  // for an item written with a trailing separator, "/a/dir/").
  const fs::path into = appkit::canonicalItemPath(folder.url());
  std::unordered_set<Path> seen(items.size());
  PathMapping pairs;
  pairs.reserve(items.size());
  for (const auto& item : items) {
    if (!seen.insert(item).second) continue;
    pairs.emplace_back(item, Path(folder.sharedFileSystem(), into / appkit::itemName(item.url())));
  }
  return pairs;
}

// Held from the moment a copy, move or trash knows its items until it has reported: quitting
// meanwhile waits for it. Null without a place to announce it.
using WorkHold = std::unique_ptr<FileWorkInProgress::Hold>;
WorkHold holdFor(const CommandContext& context, std::size_t items) {
  if (!context.fileWork) return nullptr;
  return std::make_unique<FileWorkInProgress::Hold>(context.fileWork, items);
}

// In the background: copies or moves each pair, announces what was done and reports what was
// not, in one alert and one log line whatever the number of items.
// Tells the store that ran the command, and the global store (which passes it on to every list
// window), what happened to items.
void announce(const CommandContext& context, const std::shared_ptr<const store::Event>& event) {
  context.fire(event);
  if (context.fireGlobal) context.fireGlobal(event);
}

void transferAll(Transfer kind, const PathMapping& pairs, const Path& folder, const CommandContext& context,
                 WorkHold hold) {
  PathMapping done;
  TransferReport report(kind, appkit::canonicalItemPath(folder.url()));
  darwin::UnkeptAttributes unkept;
  std::size_t started = 0;
  for (const auto& [source, destination] : pairs) {
    // Stopped (the quit was told not to wait): the items not started stay where they were.
    if (hold && hold->stopping()) break;
    ++started;
    unkept.clear();
    auto status = transfer(kind, source, destination, unkept, hold ? hold->abandon() : nullptr);
    report.unkept(unkept);
    if (hold) hold->itemDone();
    if (!status) {
      report.failed(source, destination, status.error());
      continue;
    }
    done.emplace_back(source, destination);
  }
  if (!done.empty()) {
    if (kind == Transfer::copy) {
      context.fire(std::make_shared<const ItemsCopied>(std::move(done)));
    } else {
      // Every window showing a moved item follows it, not only the one that asked.
      announce(context, std::make_shared<const ItemsMoved>(std::move(done)));
    }
  }
  report.notStarted(pairs.size() - started);
  report.log(pairs.size());
  // A stop comes from a quit that is not to wait: an alert would hold it up, for a user who
  // already knows. The log has it all.
  if (hold && hold->stopping()) return;
  if (auto alert = report.alert()) showAlertOnMain(context, std::move(*alert));
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

// "“a.txt”: reason" lines (just "“a.txt”" where no reason is given) for the first `named`
// entries, then "and N more." for the others of `total`. Breakable for the informative text; as
// they are (visible) for the details.
std::string namedLines(const std::vector<TransferReport::Line>& lines, std::size_t total, std::size_t named,
                       bool breakable) {
  std::string text;
  const std::size_t shown = std::min(named, lines.size());
  for (std::size_t i = 0; i < shown; ++i) {
    if (!text.empty()) text += "\n";
    const auto& [name, detail] = lines[i];
    // A reason may quote a path (where a partial copy was left): shown the way a name is.
    text += "\u201C" + (breakable ? shownInAlert(name) : files::visibleName(name)) + "\u201D";
    if (!detail.empty()) text += ": " + (breakable ? shownInAlert(detail) : files::visibleName(detail));
  }
  if (total > shown) text += "\n" + filledIn(localized("and %@ more."), countText(total - shown));
  return text;
}

// The whole list behind "and N more." (empty when the informative text names every entry).
std::string wholeList(const std::vector<TransferReport::Line>& lines, std::size_t total) {
  if (total <= TransferReport::kNamedInAlert) return {};
  return namedLines(lines, total, lines.size(), false);
}

}  // namespace

std::string countText(std::size_t count) {
  return QLocale().toString(static_cast<qulonglong>(count)).toStdString();
}

std::string TransferReport::shownName(const fs::path& item) const {
  fs::path relative = item.lexically_relative(folder_);
  if (relative.empty() || *relative.begin() == "..") relative = appkit::itemName(item);
  return relative.string();
}

void TransferReport::failed(const Path& source, const Path& destination, const foundation::Error& error) {
  ++failures_;
  if (namedFailures_.size() < kListed) namedFailures_.push_back({appkit::itemName(source.url()).string(), error.message});
  if (loggedFailures_.size() < kNamedInLog) {
    std::ostringstream line;
    line << "source=" << source.description() << " destination=" << destination.description() << " error=" << error;
    loggedFailures_.push_back(line.str());
  }
}

void TransferReport::unkept(const darwin::UnkeptAttributes& attributes) {
  for (const auto& attribute : attributes) {
    const bool sameItem = unkeptItems_ > 0 && attribute.item == lastUnkeptItem_;
    if (!sameItem) {
      ++unkeptItems_;
      lastUnkeptItem_ = attribute.item;
      if (namedUnkept_.size() < kListed) namedUnkept_.push_back({shownName(attribute.item), attributeInWords(attribute.name)});
      continue;
    }
    if (unkeptItems_ <= kListed) namedUnkept_.back().detail += ", " + attributeInWords(attribute.name);
  }
}

void TransferReport::log(std::size_t items) const {
  const char* verb = kind_ == Transfer::copy ? "copy" : "move";
  if (failures_ > 0) {
    std::ostringstream line;
    for (std::size_t i = 0; i < loggedFailures_.size(); ++i) line << (i ? "; " : "") << loggedFailures_[i];
    if (failures_ > loggedFailures_.size()) line << "; and " << failures_ - loggedFailures_.size() << " more";
    LOG_ERROR("failed to " << verb << " " << failures_ << " of " << items << " items. " << line.str());
  }
  if (unkeptItems_ > 0) {
    std::ostringstream line;
    for (std::size_t i = 0; i < namedUnkept_.size() && i < kNamedInLog; ++i) {
      line << (i ? "; " : "") << files::visibleName(namedUnkept_[i].name) << ": " << namedUnkept_[i].detail;
    }
    LOG_WARNING("the destination cannot keep some extended attributes; " << unkeptItems_ << " items arrived without them. folder="
                << folder_.string() << " items=" << line.str());
  }
  if (notStarted_ > 0) {
    LOG_WARNING(verb << " stopped before it was complete; " << notStarted_ << " of " << items
                     << " items were not started and stay where they were");
  }
}

std::optional<Alert> TransferReport::alert() const {
  if (failures_ == 0 && unkeptItems_ == 0) return std::nullopt;
  const bool copy = kind_ == Transfer::copy;
  Alert alert;
  alert.style = Alert::Style::warning;
  alert.applicationIcon = true;
  // Each part: its lines in the informative text, and its whole list in the details when the
  // text names only the first few.
  auto addPart = [&alert](const std::string& heading, const std::vector<Line>& lines, std::size_t total) {
    if (total == 0) return;
    const std::string named = namedLines(lines, total, kNamedInAlert, true);
    alert.informativeText += (alert.informativeText.empty() ? "" : "\n\n") + (heading.empty() ? "" : heading + "\n") + named;
    const std::string whole = wholeList(lines, total);
    if (whole.empty()) return;
    alert.detailText += (alert.detailText.empty() ? "" : "\n\n") + (heading.empty() ? "" : heading + "\n") + whole;
  };
  if (failures_ > 0) {
    alert.messageText = localized(copy ? "Some items could not be copied." : "Some items could not be moved.");
    addPart("", namedFailures_, failures_);
    addPart(unkeptItems_ == 0 ? "" : localized(copy ? "Copied without the attributes the destination cannot keep:"
                                                  : "Moved without the attributes the destination cannot keep:"),
            namedUnkept_, unkeptItems_);
  } else {
    alert.messageText = localized(copy ? "Some items were copied without attributes the destination cannot keep."
                                       : "Some items were moved without attributes the destination cannot keep.");
    addPart("", namedUnkept_, unkeptItems_);
  }
  return alert;
}

Alert trashFailureAlert(const std::vector<fs::path>& given, const std::vector<fs::path>& recycled,
                        const foundation::Error& error) {
  std::unordered_set<std::string> went;
  for (const auto& item : recycled) went.insert(item.string());
  std::vector<TransferReport::Line> left;
  std::size_t total = 0;
  for (const auto& item : given) {
    if (went.contains(item.string())) continue;
    ++total;
    if (left.size() < TransferReport::kListed) left.push_back({appkit::itemName(item).string(), {}});
  }
  Alert alert;
  alert.style = Alert::Style::warning;
  alert.applicationIcon = true;
  alert.messageText = localized(total == 1 ? "An item could not be moved to the Trash." : "Some items could not be moved to the Trash.");
  // The names, one a line, then why: the error tells for all of them.
  alert.informativeText = namedLines(left, total, TransferReport::kNamedInAlert, true);
  alert.informativeText += (alert.informativeText.empty() ? "" : "\n\n") + shownInAlert(error.message);
  alert.detailText = wholeList(left, total);
  return alert;
}

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
    WorkHold hold = holdFor(context, items.size());
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
      transferAll(Transfer::copy, elsewhere, folder, context, std::move(hold));
      return;
    }
    hold.reset();  // nothing runs while the user is asked, and a quit then copies nothing
    context.services.main->async([elsewhere, folder, context] {
      Alert alert;
      alert.style = Alert::Style::warning;
      alert.applicationIcon = true;
      alert.messageText = localized("At least one of the items copied would be copying over itself.");
      alert.informativeText =
          localized("You can skip those items and continue copying the rest, or cancel copying all items.");
      alert.buttons = {localized("Continue Copying"), localized("Cancel")};
      if (context.services.alerts->runModal(alert) != appkit::kFirstButtonReturn) return;
      context.services.background->async([elsewhere, folder, context] {
        transferAll(Transfer::copy, elsewhere, folder, context, holdFor(context, elsewhere.size()));
      });
    });
  });
}

void moveItems(const Items& items, const CommandContext& context) {
  if (!items || nothingToActOn(items, "move")) return;
  context.services.openPanels->chooseDirectory([items = *items, context](fs::path chosen) {
    WorkHold hold = holdFor(context, items.size());
    Path folder(files::FileSystems::defaultFileSystem(), chosen);
    PathMapping pairs = pairedWithDestinations(items, folder);
    std::erase_if(pairs, ontoItself);
    if (pairs.empty()) {
      Alert alert;
      alert.style = Alert::Style::informational;
      alert.applicationIcon = true;
      alert.messageText =
          localized("No items needed to be moved to") + " \"" + shownInAlert(appkit::itemName(chosen).string()) + "\"";
      showAlertOnMain(context, std::move(alert));
      return;
    }
    // Still in the background, where the folder panel called back.
    transferAll(Transfer::move, pairs, folder, context, std::move(hold));
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
  // Held until the rows have been told: a quit meanwhile waits, and the busy cursor shows.
  std::shared_ptr<FileWorkInProgress::Hold> hold = holdFor(context, items->size());
  // Counted item by item on the quit notice; a stop asked there ends it between two items.
  // The workspace calls these only before the completion, which holds the hold until then.
  appkit::Workspace::RecycleProgress progress;
  if (FileWorkInProgress::Hold* held = hold.get()) {
    progress = {[held] { held->itemDone(); }, [held] { return held->stopping(); }};
  }
  context.services.workspace->recycleWithProgress(
      fileSystemPaths(*items), std::move(progress),
      [context, hold, given = fileSystemPaths(*items)](std::vector<fs::path> recycled,
                                                       std::optional<foundation::Error> error) mutable {
        std::optional<Alert> failure;
        if (error) failure = trashFailureAlert(given, recycled, *error);
        announce(context, std::make_shared<const ItemsTrashed>(pathsOnDefaultFileSystem(recycled), std::move(error)));
        hold.reset();
        if (failure) showAlertOnMain(context, std::move(*failure));
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
