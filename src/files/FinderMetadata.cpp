#include "files/FinderMetadata.h"

#include "platform/darwin/ExtendedAttributes.h"
#include "platform/foundation/PropertyList.h"

namespace ml::files {

using foundation::PlistValue;
using foundation::PropertyList;

std::optional<std::string> decodeFinderComment(const Bytes& bytes) {
  auto value = PropertyList::parse(std::span<const uint8_t>(bytes));
  if (!value) return std::nullopt;
  if (const std::string* text = value->string()) return *text;
  return std::nullopt;
}

std::optional<std::string> readFinderComment(const std::filesystem::path& item) {
  auto bytes = darwin::extendedAttribute(item, kFinderCommentAttribute);
  if (!bytes) return std::nullopt;
  return decodeFinderComment(*bytes);
}

foundation::Status writeFinderComment(const std::filesystem::path& item, const std::optional<std::string>& comment) {
  if (!comment) return darwin::removeExtendedAttribute(item, kFinderCommentAttribute);
  auto bytes = PropertyList::toBinary(PlistValue(*comment));
  if (!bytes) return bytes.error();
  return darwin::setExtendedAttribute(item, bytes.value(), kFinderCommentAttribute);
}

std::vector<std::string> decodeTagNames(const Bytes& bytes) {
  auto value = PropertyList::parse(std::span<const uint8_t>(bytes));
  if (!value || !value->array()) return {};
  std::vector<std::string> names;
  for (const auto& entry : *value->array()) {
    const std::string* text = entry.string();
    if (!text) continue;
    // "name" or "name\n<label index>"
    std::string name = text->substr(0, text->find('\n'));
    if (!name.empty()) names.push_back(std::move(name));
  }
  return names;
}

std::vector<std::string> readTagNames(const std::filesystem::path& item) {
  auto bytes = darwin::extendedAttribute(item, kUserTagsAttribute);
  if (!bytes) return {};
  return decodeTagNames(*bytes);
}

}  // namespace ml::files
