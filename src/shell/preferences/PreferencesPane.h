#pragma once
// One pane of the preferences window: it reads its own preference keys into its controls and
// writes them back when the window saves. The window routes Save and Use Defaults to the pane
// of the selected tab and asks every pane about unsaved edits before it closes.
//
// Thread affinity: main thread (the panes are widgets).
#include <optional>
#include <string>

#include "platform/foundation/Result.h"

namespace ml::shell {

class PreferencesPane {
 public:
  virtual ~PreferencesPane() = default;

  // The pane's identifier ("general", "dropkeys", "advanced"), for log lines.
  virtual std::string name() const = 0;
  // Sets the controls back to the stored settings.
  virtual void revertChanges() = 0;
  // Sets the controls to the built-in defaults; stores nothing.
  virtual void applyDefaults() = 0;
  // Writes the controls' values to the preferences. Nothing on success; on failure the error,
  // and the stored values are as they were before the call.
  virtual std::optional<foundation::Error> save() = 0;
  // Whether the controls hold edits that were neither stored nor reverted since they were last
  // loaded or saved.
  virtual bool hasUnsavedChanges() const = 0;
};

}  // namespace ml::shell
