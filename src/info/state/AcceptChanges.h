#pragma once
// Writes the pending edits of an Info window to the shown item, and reports the outcome on the
// window's store: ChangesApplied (with the new path after a rename) or ChangesFailed, both naming
// the item written, which need not be the one shown when the outcome arrives. A rename is also
// announced to the whole application (ItemsRenamed, through the window), so that every list and
// Info window showing the item follows it.
//
// Order of writes, fixed: the basic attributes (dates, invisible and extension-hidden flags),
// then the Finder attributes (type and creator codes), then the rename by a move within the
// item's folder (rename::moveToNewName, which also changes the case of a name alone on a volume
// that ignores case). The rename comes last so the attribute writes address the item by its old path.
// When any step fails, both attribute sets are written back as they were read before the first
// write, and ChangesFailed carries the error of the failed step.
//
// Edits nothing writes (owner, group, access rights, locks, stationery, icon, tags) are logged
// as warnings and left out; the Info window shows their controls read-only, so none arises
// there, and one of them never holds back the edits that can be written. A value of the wrong
// kind, a removed modification or access date, or a name that is not a single path component
// fails the whole apply before anything is written: the edits stay pending and the failure is
// reported, rather than being dropped as if they had been saved.
//
// Runs on the store's queue; every write is synchronous there.
#include <optional>

#include "info/state/InfoWindowState.h"
#include "platform/foundation/Result.h"
#include "platform/store/Command.h"

namespace ml::info {

class AcceptChanges final : public store::Command<InfoWindowState> {
 public:
  void execute(const InfoWindowState& state, store::Core<InfoWindowState>& core) override;

  // The work of execute(): fires the outcome event on `core` and also returns it. Nothing shown
  // (displayed index negative) fires nothing and counts as success.
  static foundation::Status apply(const InfoWindowState& state, store::Core<InfoWindowState>& core);
};

}  // namespace ml::info
