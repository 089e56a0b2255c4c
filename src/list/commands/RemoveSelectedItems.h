#pragma once
// Takes the selected rows out of the list. Without `trash` only the rows go (the items stay on
// disk). With `trash` the selected items go to the Trash through the application's one trash
// command, as from any other window: the work counts as under way (a quit waits for it), a
// failure is reported once by that command, and every window, this one included, drops the rows
// of the items that went when it announces them (ItemsTrashed).
#include "list/commands/ListCommand.h"

namespace ml::list {

class RemoveSelectedItems final : public ListCommand {
 public:
  explicit RemoveSelectedItems(bool trash) : trash_(trash) {}
  bool trash() const { return trash_; }
  void execute(const ListWindowState& state, ListStore& core) override;

 private:
  bool trash_;
};

}  // namespace ml::list
