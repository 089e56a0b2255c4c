#include "files/FinderMetadata.h"

#include <cerrno>

#include "platform/darwin/ExtendedAttributes.h"

namespace ml::files {

// Decoding and encoding go through the foundation's property-list reader and writer, which
// this module takes up as soon as the foundation provides them. Until then comments and tags
// read as absent and a comment cannot be stored (ENOTSUP), never silently dropped.

std::optional<std::string> decodeFinderComment(const Bytes&) { return std::nullopt; }

std::optional<std::string> readFinderComment(const std::filesystem::path& item) {
  auto bytes = darwin::extendedAttribute(item, kFinderCommentAttribute);
  if (!bytes) return std::nullopt;
  return decodeFinderComment(*bytes);
}

foundation::Status writeFinderComment(const std::filesystem::path& item, const std::optional<std::string>& comment) {
  if (!comment) return darwin::removeExtendedAttribute(item, kFinderCommentAttribute);
  return foundation::Error::posix(ENOTSUP);
}

std::vector<std::string> decodeTagNames(const Bytes&) { return {}; }

std::vector<std::string> readTagNames(const std::filesystem::path& item) {
  auto bytes = darwin::extendedAttribute(item, kUserTagsAttribute);
  if (!bytes) return {};
  return decodeTagNames(*bytes);
}

}  // namespace ml::files
