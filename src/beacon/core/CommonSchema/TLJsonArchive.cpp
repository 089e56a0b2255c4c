#include "beacon/core/CommonSchema/TLJsonArchive.h"

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"

namespace ml::beacon {

void encodeJsonObject(TLKeyedArchiver& coder, std::string_view key, const std::optional<TLJsonValue>& object) {
  if (!object) return;
  coder.encodeString(key, TLJson::dump(*object, false));
}

std::optional<TLJsonValue> decodeJsonObject(const TLKeyedUnarchiver& coder, std::string_view key) {
  auto text = coder.decodeString(key);
  if (!text) return std::nullopt;
  auto parsed = TLJson::parse(*text);
  if (!parsed || !parsed->is_object()) {
    coder.fail(TLKeyedUnarchiver::kCorruptArchiveError, "value of \"" + std::string(key) + "\" is not a JSON object");
    return std::nullopt;
  }
  return parsed;
}

}  // namespace ml::beacon
