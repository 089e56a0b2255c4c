#include "beacon/core/TLPlistDescription.h"

#include "beacon/core/TLJson.h"
#include "platform/foundation/Dates.h"

namespace ml::beacon {

namespace {

TLJsonValue toJson(const foundation::PlistValue& value, int depth) {
  using Kind = foundation::PlistValue::Kind;
  if (depth > TLJson::kMaxDepth) return "...";
  switch (value.kind()) {
    case Kind::string: return *value.string();
    case Kind::integer: return *value.integer();
    case Kind::real: return *value.real();
    case Kind::boolean: return *value.boolean();
    case Kind::date: return foundation::Dates::iso8601(*value.date());
    case Kind::data: return "<" + std::to_string(value.data()->size()) + " bytes>";
    case Kind::array: {
      TLJsonValue array = TLJsonValue::array();
      for (const auto& item : *value.array()) array.push_back(toJson(item, depth + 1));
      return array;
    }
    case Kind::dictionary: {
      TLJsonValue object = TLJsonValue::object();
      for (const auto& [key, item] : *value.dictionary()) object[key] = toJson(item, depth + 1);
      return object;
    }
  }
  return nullptr;
}

}  // namespace

std::string describePlist(const foundation::PlistValue& value) {
  return TLJson::dump(toJson(value, 0), false).value_or("?");
}

}  // namespace ml::beacon
