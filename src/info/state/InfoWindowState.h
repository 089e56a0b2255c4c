#pragma once
// The state of one Info window: the items it was opened with, which of them it shows, and the
// edits not yet written. Nothing reaches the disk until the apply command runs; an edit that
// restores what the shown item already holds is dropped rather than kept.
//
// Invariants kept by react(): `displayed` is a valid index of `paths`, or -1 once every listed
// item has gone to the Trash (the window is about to close: panes and commands then do nothing).
// `paths` is empty only between creation and the Initialized event. `changes` always belong to
// the shown item: whatever makes another item shown (a pick, a trash) drops them, and an
// outcome of an apply touches them only when it is about the shown item.
//
// A plain value; the store copies it for each published snapshot. react() runs on the store's
// queue and reads the file system (to judge edits); it touches no interface object.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

#include "files/Date.h"
#include "files/Path.h"
#include "info/state/EditableField.h"
#include "info/state/FieldValue.h"
#include "info/state/InfoWindowHost.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Result.h"
#include "platform/store/Event.h"

namespace ml::info {

// The last apply that failed, so the window can tell the user once per failure.
struct ApplyFailure {
  files::Path item;  // the item the apply wrote to
  foundation::Error error;
  uint64_t serial = 0;  // counts failures of this window, from 1
};

struct InfoWindowState {
  // `clock` stamps the forced redraws; it must outlive every copy of the state.
  explicit InfoWindowState(dispatch::Clock& clock) : lastUpdate(clock.now()), clock_(&clock) {}
  InfoWindowState() : InfoWindowState(dispatch::Clock::system()) {}

  // The loaded window (parent of the date sheets); empty until WindowLoaded.
  std::weak_ptr<InfoWindowHost> window;
  std::vector<files::Path> paths;
  int displayed = 0;
  // Pending edits, one per field; an entry may hold an absent value (for example: no type code).
  std::map<EditableField, FieldValue> changes;
  // Time of the last forced redraw: a new value asks the panes to read the file system again.
  files::Date lastUpdate;
  std::optional<ApplyFailure> lastFailure;

  // The shown item: paths[displayed], or nothing when `displayed` is not a valid index.
  std::optional<files::Path> displayedPath() const;
  // The shown item alone (what the global commands act on when given no items); empty when
  // nothing is shown.
  std::vector<files::Path> selectedItems() const;
  bool hasChange(EditableField field) const { return changes.count(field) != 0; }
  // The pending value of `field`, or null when no edit of it is pending.
  const FieldValue* change(EditableField field) const;

  void react(const store::Event& event);

  // "InfoWindowState(paths: [/a, /b], displayed: 0, changes: [name, modified])"
  friend std::ostream& operator<<(std::ostream& out, const InfoWindowState& state);

 private:
  // Whether `value` is what the shown item holds now for `field` (read afresh from its file
  // system). Icon, tags and the access rights are never judged equal; nor is anything when the
  // item's attributes cannot be read.
  bool isFieldResetBy(EditableField field, const FieldValue& value) const;
  void judge(EditableField field, const FieldValue& value);
  // Whether an edit made for `item` (any item when absent) may be taken: it is the shown one.
  bool isForShownItem(const std::optional<files::Path>& item) const;
  // The index of the first path at `path`'s location, or -1.
  int indexOf(const files::Path& path) const;
  void replacePaths(const std::vector<std::pair<files::Path, files::Path>>& mapping);

  dispatch::Clock* clock_;
};

}  // namespace ml::info
