#include "shell/coding/HandOff.h"

#include <nlohmann/json.hpp>
#include <optional>

#include "shell/coding/BoundedJson.h"

namespace ml::shell {

using foundation::Error;

namespace {

Error handOffError(int code, std::string text) { return Error::make(kHandOffErrorDomain, code, std::move(text)); }

// File names are bytes, not always UTF-8; percent-encoding every byte outside printable ASCII
// (and "%" itself) carries any path through JSON unchanged.
std::string encodeBytes(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : path) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || byte == '%') {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> decodeBytes(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    int high = hexValue(text[i + 1]);
    int low = hexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

}  // namespace

std::vector<std::uint8_t> HandOff::encode() const {
  nlohmann::ordered_json json;
  json["paths"] = nlohmann::ordered_json::array();
  for (const auto& path : paths) json["paths"].push_back(encodeBytes(path));
  json["keys"] = keys.toJson();
  // Held characters come from the keymap as UTF-8; replace rather than throw should one not be.
  std::string text = json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  return {text.begin(), text.end()};
}

foundation::Result<HandOff> HandOff::decode(std::span<const std::uint8_t> bytes) {
  auto parsed = parseBoundedJson(bytes);
  if (!parsed) return handOffError(1, "the hand-off is not a JSON object: " + parsed.error().message);
  const nlohmann::json& json = *parsed;
  if (!json.is_object()) return handOffError(1, "the hand-off is not a JSON object");
  HandOff handOff;
  auto paths = json.find("paths");
  if (paths == json.end() || !paths->is_array()) return handOffError(2, "the hand-off has no list of paths");
  for (const auto& path : *paths) {
    if (!path.is_string()) return handOffError(3, "a handed-off path is not a string");
    auto text = decodeBytes(path.get_ref<const std::string&>());
    if (!text) return handOffError(4, "a handed-off path is badly encoded");
    if (text->empty() || text->front() != '/' || text->find('\0') != std::string::npos) {
      return handOffError(5, "a handed-off path is not absolute");
    }
    handOff.paths.push_back(std::move(*text));
  }
  if (auto keys = json.find("keys"); keys != json.end()) {
    auto decoded = DropKeys::fromJson(*keys);
    if (!decoded) return handOffError(6, "the handed-off keys are malformed: " + decoded.error().message);
    handOff.keys = *decoded;
  }
  return handOff;
}

}  // namespace ml::shell
