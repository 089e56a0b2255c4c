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

// One edit from a pane control, a date sheet or a clone command.
struct FieldUpdated : store::Event {
  FieldUpdated(EditableField f, FieldValue v) : field(f), value(std::move(v)) {}
  EditableField field;
  FieldValue value;
};

// Several edits at once, judged one by one (in field order).
struct FieldsUpdated : store::Event {
  explicit FieldsUpdated(std::map<EditableField, FieldValue> u) : update(std::move(u)) {}
  std::map<EditableField, FieldValue> update;
};

// The panes should redraw from the file system.
struct InterfaceInvalidated : store::Event {};

// Every pending edit is dropped (revert).
struct StateReset : store::Event {};

// The pending edits were written; after a rename the item's new path.
struct ChangesApplied : store::Event {
  explicit ChangesApplied(std::optional<files::Path> p = std::nullopt) : replacementPath(std::move(p)) {}
  std::optional<files::Path> replacementPath;
};

// Writing the pending edits failed; the item was put back as it was.
struct ChangesFailed : store::Event {
  explicit ChangesFailed(foundation::Error e) : error(std::move(e)) {}
  foundation::Error error;
};

// The user picked another of the window's items.
struct SelectedPathUpdated : store::Event {
  explicit SelectedPathUpdated(files::Path p) : path(std::move(p)) {}
  files::Path path;
};

}  // namespace ml::info
