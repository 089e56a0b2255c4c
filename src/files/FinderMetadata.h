#pragma once
// The Finder comment and the Finder tag names of an item, stored as binary property lists in
// the attributes "com.apple.metadata:kMDItemFinderComment" (a string) and
// "com.apple.metadata:_kMDItemUserTags" (an array of "name" or "name\n<label index>" strings).
// Reads follow a link at the path. Stateless; any thread.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "files/AttributeViews.h"
#include "platform/foundation/Result.h"

namespace ml::files {

inline constexpr const char* kFinderCommentAttribute = "com.apple.metadata:kMDItemFinderComment";
inline constexpr const char* kUserTagsAttribute = "com.apple.metadata:_kMDItemUserTags";

// The comment; nullopt when the attribute is missing, unreadable, not a property list or not a
// string.
std::optional<std::string> readFinderComment(const std::filesystem::path& item);
std::optional<std::string> decodeFinderComment(const Bytes& bytes);

// Stores the comment as a binary property list; nullopt removes the attribute (a missing one is
// the POSIX error ENODATA, as the removal reports it).
foundation::Status writeFinderComment(const std::filesystem::path& item, const std::optional<std::string>& comment);

// The tag names; empty when there are none or the attribute cannot be decoded. Entries that are
// not strings or have an empty name are skipped.
std::vector<std::string> readTagNames(const std::filesystem::path& item);
std::vector<std::string> decodeTagNames(const Bytes& bytes);

}  // namespace ml::files
