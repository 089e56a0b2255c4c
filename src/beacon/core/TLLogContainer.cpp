#include "beacon/core/TLLogContainer.h"

#include "beacon/core/TLLogger.h"

namespace ml::beacon {

std::optional<std::string> TLLogContainer::serializeLogWithPrettyPrinting(bool prettyPrint) const {
  TLJsonValue array = TLJsonValue::array();
  for (const auto& log : logs) {
    if (!log) continue;
    TLJsonValue json = log->serializeToDictionary();
    if (json.is_null()) continue;
    array.push_back(std::move(json));
  }
  TLJsonValue container = TLJsonValue::object();
  container["logs"] = std::move(array);
  // TLJson::dump never escapes "/", so the text needs no "\/" clean-up (which would corrupt a
  // value holding a backslash followed by a slash).
  auto text = TLJson::dump(container, prettyPrint);
  if (!text) TL_LOG_ERROR(kBeaconLogTag, "Couldn't serialize log container to json: the JSON writer failed");
  return text;
}

bool TLLogContainer::isValid() const {
  if (logs.empty()) return false;
  for (const auto& log : logs) {
    if (!log || !log->isValid()) return false;
  }
  return true;
}

}  // namespace ml::beacon
