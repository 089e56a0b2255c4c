#pragma once
// Copying, moving, creating and listing items: the stand-in for the original platform's file
// manager. Nothing here ever replaces an existing item: a copy or move onto a taken name fails
// with EEXIST and leaves both items as they were.
//
// A copy reproduces the item and everything below it: contents, symbolic links as links,
// permission and special bits, owner and group (when the process may set them), modification
// and access dates and every extended attribute the target file system accepts (those of the
// user namespace must all arrive, or the copy fails). A copy that fails half-way removes what it
// created; when that removal fails as well, it is logged at error level and the returned error
// (the copy's own code) says the partial copy was left and where. Links inside the copied tree
// are never followed.
// Stateless; any thread; blocking.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/foundation/Result.h"

namespace ml::darwin {

foundation::Status copyItem(const std::filesystem::path& from, const std::filesystem::path& to);

// A rename when both lie on one file system (atomic, RENAME_NOREPLACE); across file systems a
// copy followed by the removal of the source. If that removal fails, the complete copy stays and
// the error is returned.
foundation::Status moveItem(const std::filesystem::path& from, const std::filesystem::path& to);

// Creates the folder and any missing intermediate folders; an existing folder is success.
foundation::Status createDirectory(const std::filesystem::path& folder);

// Creates an empty file; an existing item is left untouched (EEXIST).
foundation::Status createEmptyFile(const std::filesystem::path& file);

// Entry names of a folder (without "." and ".."), in the order the file system gives them.
foundation::Result<std::vector<std::string>> listDirectory(const std::filesystem::path& folder);

// Replaces the permission bits (0o7777) of the item a link at the path points to.
foundation::Status setMode(const std::filesystem::path& item, unsigned mode);

}  // namespace ml::darwin
