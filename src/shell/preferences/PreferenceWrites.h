#pragma once
// Stores a pane's settings as one change: every key is set, then the file is written and the
// write checked. When the file cannot be written, every key gets its earlier value back in
// memory and the error is returned, so a pane never reports a save that did not reach the disk.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/PlistValue.h"
#include "platform/foundation/Preferences.h"
#include "platform/foundation/Result.h"

namespace ml::shell {

// A key and its new value; no value removes the key.
using PreferenceWrite = std::pair<std::string, std::optional<foundation::PlistValue>>;

// Any thread (the preferences store is thread-safe); the panes call it on the main thread.
foundation::Status storePreferences(foundation::Preferences& preferences, const std::vector<PreferenceWrite>& writes);

}  // namespace ml::shell
