#include "shell/preferences/PreferenceWrites.h"

namespace ml::shell {

namespace {
void apply(foundation::Preferences& preferences, const std::string& key, const std::optional<foundation::PlistValue>& value) {
  if (value) {
    preferences.set(key, *value);
  } else {
    preferences.remove(key);
  }
}
}  // namespace

foundation::Status storePreferences(foundation::Preferences& preferences, const std::vector<PreferenceWrite>& writes) {
  std::vector<PreferenceWrite> earlier;
  earlier.reserve(writes.size());
  for (const auto& [key, value] : writes) {
    earlier.emplace_back(key, preferences.object(key));
    apply(preferences, key, value);
  }
  // set() logs a failed write but keeps the value; writing once more tells whether it reached
  // the disk.
  foundation::Status written = preferences.save();
  if (written) return written;
  for (auto it = earlier.rbegin(); it != earlier.rend(); ++it) apply(preferences, it->first, it->second);
  return written;
}

}  // namespace ml::shell
