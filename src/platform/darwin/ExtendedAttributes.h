#pragma once
// Extended attributes of a file, by their macOS names. The attribute "X" of the original platform
// (com.apple.FinderInfo, com.apple.ResourceFork, com.apple.metadata:...) is the Linux attribute
// "user.X" holding the same bytes; listing shows only that namespace, without the prefix.
//
// Every call follows a symbolic link at the path and works on its target. Failures of the
// system calls come back as POSIX errors (errno and its strerror text). Stateless; any thread.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Result.h"

namespace ml::darwin {

using Bytes = std::vector<uint8_t>;

// "user." + name.
std::string linuxAttributeName(std::string_view name);

// The attribute's bytes, exactly as many as the file holds at the moment of the read (an
// attribute that changes size between the size query and the read is read again, never padded
// or cut); nullopt when the file has no attribute of that name. Other failures (missing file,
// no permission, a name the file system refuses) are errors. An attribute of length 0 reads as
// empty bytes.
foundation::Result<std::optional<Bytes>> readExtendedAttribute(const std::filesystem::path& file,
                                                               std::string_view name);

// The attribute's bytes, or nullopt when it cannot be read for any reason.
std::optional<Bytes> extendedAttribute(const std::filesystem::path& file, std::string_view name);

// The attribute's length in bytes, without reading it; nullopt when the file has no attribute of
// that name or it cannot be queried. Allocates nothing, for walks that ask it of every file.
std::optional<std::size_t> extendedAttributeSize(const char* file, std::string_view name);

// Creates or replaces the attribute.
foundation::Status setExtendedAttribute(const std::filesystem::path& file, std::span<const uint8_t> data,
                                        std::string_view name);

// Removes the attribute; a missing one is the POSIX error ENODATA.
foundation::Status removeExtendedAttribute(const std::filesystem::path& file, std::string_view name);

// The macOS names of the file's attributes (its "user." attributes), in the file system's order.
foundation::Result<std::vector<std::string>> listExtendedAttributes(const std::filesystem::path& file);

}  // namespace ml::darwin
