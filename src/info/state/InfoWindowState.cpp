#include "info/state/InfoWindowState.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "files/FileSystem.h"
#include "info/state/InfoWindowEvents.h"
#include "platform/logging/Log.h"
#include "shell/core/ApplicationEvents.h"
#include "shell/core/PathList.h"

namespace ml::info {

std::optional<files::Path> InfoWindowState::displayedPath() const {
  if (displayed < 0 || static_cast<size_t>(displayed) >= paths.size()) return std::nullopt;
  return paths[static_cast<size_t>(displayed)];
}

std::vector<files::Path> InfoWindowState::selectedItems() const {
  if (auto shown = displayedPath()) return {*shown};
  return {};
}

const FieldValue* InfoWindowState::change(EditableField field) const {
  auto it = changes.find(field);
  return it == changes.end() ? nullptr : &it->second;
}

namespace {

template <class T>
bool holds(const FieldValue& value, const T& current) {
  const T* given = valueAs<T>(value);
  return given && *given == current;
}

// The codes compare as optional texts: absent equals absent.
bool holdsCode(const FieldValue& value, const std::optional<std::string>& current) {
  if (!value) return !current;
  const auto* given = valueAs<std::string>(value);
  return given && current && *given == *current;
}

}  // namespace

// Only the view the field needs is read; each judgement reads it anew.
bool InfoWindowState::isFieldResetBy(EditableField field, const FieldValue& value) const {
  const auto shown = displayedPath();
  if (!shown) return false;
  const auto& fs = shown->fileSystem();
  auto basic = [&] { return fs.basicAttributes(*shown); };
  auto finder = [&] { return fs.finderAttributes(*shown); };
  auto posix = [&] { return fs.posixAttributes(*shown); };

  switch (field) {
    case EditableField::name:
      return holds(value, shown->url().filename().string());
    case EditableField::icon:
    case EditableField::tags:
    case EditableField::ownerPermissions:
    case EditableField::groupPermissions:
    case EditableField::globalPermissions:
      return false;
    case EditableField::hiddenExtension: {
      auto view = basic();
      return view && holds(value, view->isExtensionHidden());
    }
    case EditableField::invisible: {
      auto view = basic();
      return view && holds(value, view->isInvisible());
    }
    case EditableField::nameLocked: {
      auto view = finder();
      return view && holds(value, view->isNameLocked());
    }
    case EditableField::fileLocked: {
      auto view = finder();
      return view && holds(value, view->isLocked());
    }
    case EditableField::stationary: {
      auto view = finder();
      return view && holds(value, view->isStationary());
    }
    case EditableField::created: {
      auto view = basic();
      if (!view) return false;
      auto created = view->creationDate();
      return created && holds(value, *created);
    }
    case EditableField::modified: {
      auto view = basic();
      return view && holds(value, view->lastModifiedDate());
    }
    case EditableField::accessed: {
      auto view = basic();
      return view && holds(value, view->lastAccessedDate());
    }
    case EditableField::owner: {
      auto view = posix();
      return view && holds(value, view->owner());
    }
    case EditableField::group: {
      auto view = posix();
      return view && holds(value, view->group());
    }
    case EditableField::typeCode: {
      auto view = finder();
      return view && holdsCode(value, view->typeCode());
    }
    case EditableField::creatorCode: {
      auto view = finder();
      return view && holdsCode(value, view->creatorCode());
    }
  }
  return false;
}

bool InfoWindowState::isForShownItem(const std::optional<files::Path>& item) const {
  if (!item) return true;
  const auto shown = displayedPath();
  if (shown && shown->url() == item->url()) return true;
  LOG_WARNING("dropping an edit made for an item no longer shown. item=" << item->description());
  return false;
}

int InfoWindowState::indexOf(const files::Path& path) const {
  for (size_t i = 0; i < paths.size(); ++i) {
    if (paths[i].url() == path.url()) return static_cast<int>(i);
  }
  return -1;
}

void InfoWindowState::judge(EditableField field, const FieldValue& value) {
  if (isFieldResetBy(field, value)) {
    changes.erase(field);
  } else {
    changes.insert_or_assign(field, value);
  }
}

// Each old path is looked up by location; the first match is replaced, and the replacement can
// itself be replaced by a later pair. Either way the panes are asked to redraw, since the items
// they show may have changed on disk. One hash lookup per pair: a window of many items follows a
// move of many without comparing every pair with every item.
void InfoWindowState::replacePaths(const std::vector<std::pair<files::Path, files::Path>>& mapping) {
  if (mapping.empty()) return;
  // The indices of the items at each location, in ascending order (a location is listed at most
  // a few times, so the lists stay short).
  std::unordered_map<std::string, std::vector<size_t>> at;
  at.reserve(paths.size() + mapping.size());
  for (size_t i = 0; i < paths.size(); ++i) at[paths[i].url().native()].push_back(i);
  for (const auto& [from, to] : mapping) {
    auto found = at.find(from.url().native());
    if (found == at.end() || found->second.empty()) continue;
    const size_t first = found->second.front();
    found->second.erase(found->second.begin());
    paths[first] = to;
    auto& now = at[to.url().native()];
    now.insert(std::lower_bound(now.begin(), now.end(), first), first);
  }
  lastUpdate = clock_->now();
}

// The event types are tried in a fixed order; the first that matches is applied.
void InfoWindowState::react(const store::Event& event) {
  if (auto* e = event.as<Initialized>()) {
    paths = e->paths;
    return;
  }
  if (auto* e = event.as<WindowLoaded>()) {
    window = e->window;
    return;
  }
  if (auto* e = event.as<FieldUpdated>()) {
    if (isForShownItem(e->item)) judge(e->field, e->value);
    return;
  }
  if (auto* e = event.as<FieldsUpdated>()) {
    if (!isForShownItem(e->item)) return;
    for (const auto& [field, value] : e->update) judge(field, value);
    return;
  }
  if (event.as<InterfaceInvalidated>()) {
    lastUpdate = clock_->now();
    return;
  }
  if (event.as<StateReset>()) {
    changes.clear();
    return;
  }
  if (auto* e = event.as<ChangesApplied>()) {
    // The written item is found by its path when the apply began: the window may show another
    // item by now, which keeps its place and its edits.
    const int written = indexOf(e->item);
    if (written < 0) return;
    if (e->replacementPath) paths[static_cast<size_t>(written)] = *e->replacementPath;
    if (written == displayed) {
      // Only the edits that were written end; one made while the apply ran stays pending.
      for (const auto& [field, value] : e->applied) {
        auto pending = changes.find(field);
        if (pending != changes.end() && pending->second == value) changes.erase(pending);
      }
    }
    return;
  }
  if (auto* e = event.as<shell::ItemsTrashed>()) {
    if (e->error) LOG_ERROR("failed to delete some items. error=" << e->error->description());
    // By location text, one lookup per item: a window of many items after a trash of many.
    std::unordered_set<std::string_view> trashed;
    trashed.reserve(e->items.size());
    for (const auto& item : e->items) trashed.insert(item.url().native());
    std::vector<files::Path> remaining;
    int shownAt = -1;  // the shown item's index among the remaining ones, when it remains
    int before = 0;    // remaining items listed before the shown one
    for (size_t i = 0; i < paths.size(); ++i) {
      if (trashed.count(paths[i].url().native()) > 0) continue;
      if (static_cast<int>(i) == displayed) shownAt = static_cast<int>(remaining.size());
      if (static_cast<int>(i) < displayed) ++before;
      remaining.push_back(paths[i]);
    }
    if (const auto shown = displayedPath(); shown && shownAt < 0 && !changes.empty()) {
      // The edits were the trashed item's: no other item may receive them.
      LOG_INFO("dropping the pending edits of a trashed item. item=" << shown->description());
      changes.clear();
    }
    if (!remaining.empty()) {
      paths = std::move(remaining);
      // The shown item keeps being shown where it now stands; a trashed one gives its place to
      // the item that moved into it (the new last item when it was last).
      if (displayed >= 0) displayed = shownAt >= 0 ? shownAt : std::min(before, static_cast<int>(paths.size()) - 1);
    } else {
      displayed = std::min(displayed, -1);  // nothing left: the window closes itself
    }
    return;
  }
  if (auto* e = event.as<ChangesFailed>()) {
    LOG_ERROR("failed to apply changes. patah=" << e->item.description() << " err=" << e->error.description());
    lastFailure = ApplyFailure{e->item, e->error, lastFailure ? lastFailure->serial + 1 : 1};
    return;
  }
  if (auto* e = event.as<SelectedPathUpdated>()) {
    // Edits belong to the item they were made for: they end only when another item is shown.
    const int chosen = indexOf(e->path);
    if (chosen < 0 || chosen == displayed) return;
    displayed = chosen;
    changes.clear();
    return;
  }
  if (auto* e = event.as<shell::ApplicationEvents::ItemsRenamed>()) {
    replacePaths(e->items);
    return;
  }
  if (auto* e = event.as<shell::ItemsMoved>()) {
    // The toolbar's move command reports here; the window follows the moved item as it follows
    // a rename.
    replacePaths(e->items);
  }
}

std::ostream& operator<<(std::ostream& out, const InfoWindowState& state) {
  out << "InfoWindowState(paths: " << shell::PathList{state.paths} << ", displayed: " << state.displayed
      << ", changes: [";
  const char* separator = "";
  for (const auto& [field, value] : state.changes) {
    out << separator << caseName(field);
    separator = ", ";
  }
  return out << "])";
}

}  // namespace ml::info
