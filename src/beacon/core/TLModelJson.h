#pragma once
// Small helpers the models use to build their JSON objects: an absent field writes no key.
#include <optional>
#include <string_view>

#include "beacon/core/TLJson.h"

namespace ml::beacon {

template <class T>
void putIfPresent(TLJsonValue& json, std::string_view key, const std::optional<T>& value) {
  if (value) json[std::string(key)] = *value;
}

}  // namespace ml::beacon
