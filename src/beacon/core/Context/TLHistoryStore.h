#pragma once
// Reading and writing a context's history (an array of records) under one key of the settings
// store, as the keyed archive of a TLArchivedArray in a data value. An entry that is missing,
// not data, or not an archive of T records reads as nothing; the caller starts empty then.
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "beacon/core/Context/TLArchivedArray.h"
#include "beacon/core/TLUserDefaults.h"

namespace ml::beacon {

template <class T>
std::optional<std::vector<std::shared_ptr<T>>> tlLoadHistory(TLUserDefaults& settings, std::string_view key) {
  auto stored = settings.objectForKey(key);
  if (!stored || !stored->data()) return std::nullopt;
  return TLArchivedArray::unarchive<T>(*stored->data());
}

// False when the history cannot be archived (nothing is written then).
template <class T>
bool tlSaveHistory(TLUserDefaults& settings, std::string_view key, const std::vector<std::shared_ptr<T>>& history) {
  auto data = TLArchivedArray::archive(history);
  if (!data) return false;
  settings.setObject(foundation::PlistValue(std::move(*data)), key);
  return true;
}

}  // namespace ml::beacon
