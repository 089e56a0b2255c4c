#include "platform/foundation/PlistValue.h"

namespace ml::foundation {

const PlistValue* PlistValue::find(std::string_view key) const {
  const Dictionary* d = dictionary();
  if (!d) return nullptr;
  auto it = d->find(key);
  return it == d->end() ? nullptr : &it->second;
}

std::string_view name(PlistValue::Kind kind) {
  switch (kind) {
    case PlistValue::Kind::string: return "string";
    case PlistValue::Kind::integer: return "integer";
    case PlistValue::Kind::real: return "real";
    case PlistValue::Kind::boolean: return "boolean";
    case PlistValue::Kind::date: return "date";
    case PlistValue::Kind::data: return "data";
    case PlistValue::Kind::array: return "array";
    case PlistValue::Kind::dictionary: return "dictionary";
  }
  return "unknown";
}

}  // namespace ml::foundation
