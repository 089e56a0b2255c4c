#pragma once
// The button bar's save-and-close: applies the pending edits at once (AcceptChanges, on the same
// store and state) and then, on the main thread, closes the window, but only when they were
// written. A failed write leaves the window open with its edits pending, so that the failure
// reported by ChangesFailed is seen and nothing the user typed is lost.
#include <functional>

#include "info/state/InfoWindowState.h"
#include "platform/store/Command.h"

namespace ml::info {

class SaveAndClose final : public store::Command<InfoWindowState> {
 public:
  // `closeWindow` runs on the main thread (it clicks the window's close button).
  explicit SaveAndClose(std::function<void()> closeWindow) : closeWindow_(std::move(closeWindow)) {}
  void execute(const InfoWindowState& state, store::Core<InfoWindowState>& core) override;

 private:
  std::function<void()> closeWindow_;
};

}  // namespace ml::info
