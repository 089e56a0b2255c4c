#pragma once
// Puts the names of the selected items on the clipboard as plain text, one per line (no line
// feed after the last); an empty selection puts an empty text there.
#include "list/commands/ListCommand.h"

namespace ml::list {

class CopyNames final : public ListCommand {
 public:
  void execute(const ListWindowState& state, ListStore& core) override;
};

}  // namespace ml::list
