#pragma once
// Takes the selected rows out of the list. Without `trash` only the rows go (the items stay on
// disk). With `trash` the selected items go to the Trash first, in the background; the rows of
// the items that did go are then removed (also when others failed, which is logged).
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
