#pragma once
// The JSON value type of the telemetry models and the two ways text enters and leaves it.
// Objects keep their keys in insertion order, so records write their fields in declaration order.
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace ml::beacon {

using TLJsonValue = nlohmann::ordered_json;

class TLJson {
 public:
  // Nesting deeper than this is refused by parse(): deep documents would otherwise recurse
  // without bound when printed or compared.
  static constexpr int kMaxDepth = 256;

  // Parses JSON text; nothing for malformed text, trailing garbage or nesting beyond kMaxDepth.
  static std::optional<TLJsonValue> parse(std::string_view text);

  // Writes the value compactly or indented by two spaces. The writer escapes only what JSON
  // requires: "/" is never escaped, so texts need no "\/" clean-up afterwards (a clean-up that
  // would corrupt a value holding a backslash followed by a slash). Malformed UTF-8 inside strings
  // is written as U+FFFD instead of failing the whole document. Nothing when writing fails.
  static std::optional<std::string> dump(const TLJsonValue& value, bool prettyPrinted);
};

}  // namespace ml::beacon
