#pragma once
// Keyed-archive form of the free-form JSON objects of the common schema (extension metadata and
// data properties): the compact JSON text under the key. Decoding refuses text that is not a JSON
// object and fails the whole archive, like every other malformed value.
#include <optional>
#include <string_view>

#include "beacon/core/TLJson.h"

namespace ml::beacon {

class TLKeyedArchiver;
class TLKeyedUnarchiver;

void encodeJsonObject(TLKeyedArchiver& coder, std::string_view key, const std::optional<TLJsonValue>& object);
std::optional<TLJsonValue> decodeJsonObject(const TLKeyedUnarchiver& coder, std::string_view key);

}  // namespace ml::beacon
