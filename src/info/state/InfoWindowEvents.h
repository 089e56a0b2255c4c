#pragma once
// The events of an Info window's store. Besides these, its reducer handles the shell's
// ItemsTrashed, ItemsMoved and ApplicationEvents::ItemsRenamed (shell/ApplicationEvents.h).
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "files/Path.h"
#include "info/state/EditableField.h"
#include "info/state/FieldValue.h"
#include "platform/foundation/Result.h"
#include "platform/store/Event.h"

namespace ml::info {

class InfoWindowHost;

// The items the window was opened with; fired by the file-info command before the window loads.
struct Initialized : store::Event {
  explicit Initialized(std::vector<files::Path> p) : paths(std::move(p)) {}
  std::vector<files::Path> paths;
};

// The window has loaded; private to the window.
struct WindowLoaded : store::Event {
  explicit WindowLoaded(std::weak_ptr<InfoWindowHost> w) : window(std::move(w)) {}
  std::weak_ptr<InfoWindowHost> window;
};

// One edit from a pane control, a date sheet or a clone command. An edit that answers a sheet or
// a panel names the item it was asked for (`item`): should another item be shown by the time it
// arrives, it is not taken, since it would land on an item it was not made for.
struct FieldUpdated : store::Event {
  FieldUpdated(EditableField f, FieldValue v, std::optional<files::Path> i = std::nullopt)
      : field(f), value(std::move(v)), item(std::move(i)) {}
  EditableField field;
  FieldValue value;
  std::optional<files::Path> item;
};

// Several edits at once, judged one by one (in field order); `item` as for FieldUpdated.
struct FieldsUpdated : store::Event {
  explicit FieldsUpdated(std::map<EditableField, FieldValue> u, std::optional<files::Path> i = std::nullopt)
      : update(std::move(u)), item(std::move(i)) {}
  std::map<EditableField, FieldValue> update;
  std::optional<files::Path> item;
};

// The panes should redraw from the file system.
struct InterfaceInvalidated : store::Event {};

// Every pending edit is dropped (revert).
struct StateReset : store::Event {};

// The pending edits `applied` were written to `item` (the path it had when the apply began);
// after a rename its new path. The window may show another item by the time this arrives, so
// the event names the item it is about.
struct ChangesApplied : store::Event {
  explicit ChangesApplied(files::Path i, std::optional<files::Path> p = std::nullopt,
                          std::map<EditableField, FieldValue> a = {})
      : item(std::move(i)), replacementPath(std::move(p)), applied(std::move(a)) {}
  files::Path item;
  std::optional<files::Path> replacementPath;
  std::map<EditableField, FieldValue> applied;
};

// Writing the pending edits to `item` failed; the item was put back as it was.
struct ChangesFailed : store::Event {
  ChangesFailed(files::Path i, foundation::Error e) : item(std::move(i)), error(std::move(e)) {}
  files::Path item;
  foundation::Error error;
};

// The user picked another of the window's items. The pending edits belong to the item shown
// until then and are dropped with the switch, so the window asks before firing this while
// edits are pending (or applies them first, ApplyAndSelect). Picking the item already shown, or
// a path that is not in the list, changes nothing.
struct SelectedPathUpdated : store::Event {
  explicit SelectedPathUpdated(files::Path p) : path(std::move(p)) {}
  files::Path path;
};

}  // namespace ml::info
