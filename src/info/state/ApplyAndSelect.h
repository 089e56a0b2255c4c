#pragma once
// The item picker's "Apply" answer: writes the pending edits to the shown item (AcceptChanges,
// on the same store and state) and only when they were written shows `path`. A failed write
// keeps the item shown with its edits pending, so the failure is seen and nothing is lost.
#include "files/Path.h"
#include "info/state/InfoWindowState.h"
#include "platform/store/Command.h"

namespace ml::info {

class ApplyAndSelect final : public store::Command<InfoWindowState> {
 public:
  explicit ApplyAndSelect(files::Path path) : path_(std::move(path)) {}
  void execute(const InfoWindowState& state, store::Core<InfoWindowState>& core) override;

 private:
  files::Path path_;
};

}  // namespace ml::info
