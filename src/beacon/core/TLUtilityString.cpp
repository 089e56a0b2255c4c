#include <regex>
#include <vector>

#include <nlohmann/json.hpp>

#include "beacon/core/TLJson.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLUtility.h"
#include "platform/security/Sha256.h"

namespace ml::beacon {

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return parts;
}

std::string removeAll(std::string_view text, std::string_view needle) {
  std::string out;
  std::size_t start = 0;
  while (true) {
    std::size_t at = text.find(needle, start);
    if (at == std::string_view::npos) break;
    out.append(text.substr(start, at - start));
    start = at + needle.size();
  }
  out.append(text.substr(start));
  return out;
}

constexpr std::string_view kTargetPrefix = "target=";
constexpr std::string_view kAppSecretPrefix = "appsecret=";

}  // namespace

std::optional<std::string> TLUtility::appSecretFrom(std::string_view configuration) {
  for (std::string_view part : split(configuration, ';')) {
    if (part.empty() || part.find(kTargetPrefix) != std::string_view::npos) continue;
    std::string secret = removeAll(part, kAppSecretPrefix);
    if (secret.empty()) return std::nullopt;
    return secret;
  }
  return std::nullopt;
}

std::optional<std::string> TLUtility::transmissionTargetTokenFrom(std::string_view configuration) {
  for (std::string_view part : split(configuration, ';')) {
    if (part.empty() || part.find(kTargetPrefix) == std::string_view::npos) continue;
    std::string token = removeAll(part, kTargetPrefix);
    if (token.empty()) return std::nullopt;
    return token;
  }
  return std::nullopt;
}

std::optional<std::string> TLUtility::targetKeyFromTargetToken(std::string_view token) {
  std::string_view key = token.substr(0, token.find('-'));
  if (key.empty()) return std::nullopt;
  return std::string(key);
}

std::optional<std::string> TLUtility::iKeyFromTargetToken(std::string_view token) {
  auto key = targetKeyFromTargetToken(token);
  if (!key) return std::nullopt;
  return "o:" + *key;
}

std::string TLUtility::sha256(std::string_view text) {
  // Hash the UTF-8 bytes as they are. (Converting to a narrower encoding first would make every
  // string that does not fit it hash like the empty string.)
  return security::Sha256::hex(security::asBytes(text));
}

std::optional<std::string> TLUtility::prettyPrintJson(std::optional<std::span<const std::uint8_t>> data) {
  if (!data) return std::nullopt;
  std::string_view text(reinterpret_cast<const char*>(data->data()), data->size());
  auto parsed = TLJson::parse(text);
  if (!parsed) return std::string(text);
  // The writer never escapes "/", so there is no "\/" to undo (and undoing it blindly would turn
  // an escaped backslash followed by a slash into a different value).
  auto printed = TLJson::dump(*parsed, true);
  if (!printed) return std::string(text);
  return printed;
}

std::optional<std::string> TLUtility::obfuscateString(std::optional<std::string_view> text, std::string_view pattern,
                                                      std::string_view replacementTemplate) {
  if (!text) return std::nullopt;
  std::regex expression;
  try {
    expression = std::regex(pattern.begin(), pattern.end(), std::regex::ECMAScript | std::regex::icase);
  } catch (const std::regex_error& error) {
    TL_LOG_ERROR(kBeaconLogTag, "Couldn't create regular expression with pattern\"" << pattern << "\": " << error.what());
    return std::nullopt;
  }
  if (text->size() > kMaxObfuscatedLength) return std::nullopt;
  try {
    return std::regex_replace(std::string(*text), expression, std::string(replacementTemplate));
  } catch (const std::regex_error& error) {
    // Complexity or stack limits of the matcher: answer nothing rather than the unmasked text.
    TL_LOG_ERROR(kBeaconLogTag, "Couldn't apply regular expression with pattern\"" << pattern << "\": " << error.what());
    return std::nullopt;
  }
}

}  // namespace ml::beacon
