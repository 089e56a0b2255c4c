#pragma once
// Reading a switch persisted in the settings store: a boolean, or a number (non-zero is on), as
// other writers of the same preferences may have stored it. Anything else, or nothing, reads as
// `fallback`.
#include <string_view>

#include "beacon/core/TLUserDefaults.h"

namespace ml::beacon {

inline bool storedBoolean(const TLUserDefaults& settings, std::string_view key, bool fallback) {
  auto value = settings.objectForKey(key);
  if (!value) return fallback;
  if (auto flag = value->boolean()) return *flag;
  if (auto number = value->integer()) return *number != 0;
  return fallback;
}

}  // namespace ml::beacon
