#pragma once
// Hands the memory that the store's earlier work freed back to the system. Fired after a large
// addition: the store handles events and commands in firing order and lets go of each before
// the next, so by the time this runs the addition's paths and batches are free.
#include "list/commands/ListCommand.h"

namespace ml::list {

class ReleaseFreedMemory final : public ListCommand {
 public:
  void execute(const ListWindowState& state, ListStore& core) override;
};

}  // namespace ml::list
