#include "shell/coding/DropKeys.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <cstdint>
#include <iomanip>

namespace ml::shell {

using foundation::Error;

DropKeys DropKeys::upperCased() const {
  DropKeys copy = *this;
  if (copy.characters) {
    // Full Unicode upper case in the root locale, so a held "ä" matches a stored "Ä" whatever
    // the user's language (no Turkish dotted-i surprises). Invalid UTF-8 is left as it is.
    auto text = icu::UnicodeString::fromUTF8(*copy.characters);
    if (!text.isBogus() && text.indexOf(static_cast<UChar>(0xFFFD)) < 0) {
      copy.characters->clear();
      text.toUpper(icu::Locale::getRoot()).toUTF8String(*copy.characters);
    }
  }
  return copy;
}

nlohmann::ordered_json DropKeys::toJson() const {
  nlohmann::ordered_json json = nlohmann::ordered_json::object();
  if (characters) json["characters"] = *characters;
  if (modifiers) json["modifiers"] = modifiers->rawValue();
  return json;
}

foundation::Result<DropKeys> DropKeys::fromJson(const nlohmann::json& json) {
  if (!json.is_object()) return Error::make(kDropKeysErrorDomain, 1, "drop keys are not an object");
  DropKeys keys;
  if (auto it = json.find("characters"); it != json.end() && !it->is_null()) {
    if (!it->is_string()) return Error::make(kDropKeysErrorDomain, 2, "\"characters\" is not a string");
    keys.characters = it->get<std::string>();
  }
  if (auto it = json.find("modifiers"); it != json.end() && !it->is_null()) {
    // Integers beyond the signed raw value (written by nothing of ours) would wrap to other keys.
    if (!it->is_number_integer() ||
        (it->is_number_unsigned() && it->get<std::uint64_t>() > std::uint64_t(INT64_MAX))) {
      return Error::make(kDropKeysErrorDomain, 3, "\"modifiers\" is not an integer in range");
    }
    keys.modifiers = ModifierKeys(it->get<ModifierKeys::RawValue>());
  }
  return keys;
}

std::ostream& operator<<(std::ostream& out, const DropKeys& keys) {
  out << "DropKeys(characters: ";
  if (keys.characters) {
    out << std::quoted(*keys.characters);
  } else {
    out << "nil";
  }
  out << ", modifiers: ";
  if (keys.modifiers) {
    out << *keys.modifiers;
  } else {
    out << "nil";
  }
  return out << ')';
}

}  // namespace ml::shell
