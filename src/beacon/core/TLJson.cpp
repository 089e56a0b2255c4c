#include "beacon/core/TLJson.h"

namespace ml::beacon {

namespace {
struct TooDeep {};
}  // namespace

std::optional<TLJsonValue> TLJson::parse(std::string_view text) {
  try {
    TLJsonValue value = TLJsonValue::parse(
        text.begin(), text.end(),
        [](int depth, TLJsonValue::parse_event_t, TLJsonValue&) {
          if (depth > kMaxDepth) throw TooDeep{};
          return true;
        },
        /*allow_exceptions=*/false);
    if (value.is_discarded()) return std::nullopt;
    return value;
  } catch (const TooDeep&) {
    return std::nullopt;
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
}

std::optional<std::string> TLJson::dump(const TLJsonValue& value, bool prettyPrinted) {
  try {
    return value.dump(prettyPrinted ? 2 : -1, ' ', false, nlohmann::json::error_handler_t::replace);
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
}

}  // namespace ml::beacon
