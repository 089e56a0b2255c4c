#pragma once
// Item paths as they enter the application, in one form whatever the way in (the command line, a
// later launch's hand-off, drops, open panels), so that the same item is always the same path.
//
// A path is the file system's bytes, never re-encoded: on Linux a file name need not be UTF-8.
// Qt-free; any thread.
#include <filesystem>
#include <optional>
#include <string_view>

namespace ml::appkit {

// Absolute (a relative name against the current folder), lexically normal, and without a
// trailing separator: "/a/dir/", "/a/./dir" and "/a/x/../dir" are all "/a/dir"; the root stays
// "/". An empty name stays empty. Symbolic links are not resolved.
std::filesystem::path canonicalItemPath(const std::filesystem::path& name);

// The item's own name, the last component, also when the path ends in a separator ("/a/dir/"
// gives "dir"); empty for the root and the empty path.
std::filesystem::path itemName(const std::filesystem::path& path);

// The local path of a file URL written as text ("file:///a/caf%E9", "file://localhost/a"):
// percent-escapes undone byte for byte, a query or fragment dropped. Nothing for another scheme,
// another host, or a malformed escape.
std::optional<std::filesystem::path> localPathOfFileUrl(std::string_view url);

}  // namespace ml::appkit
