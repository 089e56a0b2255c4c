#pragma once
// Copying, moving, creating and listing items: the stand-in for the original platform's file
// manager. Nothing here ever replaces an existing item: a copy or move onto a taken name fails
// with EEXIST and leaves both items as they were.
//
// A copy reproduces the item and everything below it: contents, symbolic links as links,
// permission and special bits, owner and group (when the process may set them), modification
// and access dates and every extended attribute the target file system accepts. An attribute of
// the user namespace that the target cannot keep at all (a FAT volume keeps none; ext4 without
// large attributes keeps none bigger than one block, and says so as if it were full) does not stop
// the copy: it is named in the copy's UnkeptAttributes. Any other failure to write one (a volume
// that is full indeed, an I/O error) fails the copy. A copy that fails half-way removes what it
// created; when that removal fails as well, it is logged at error level and the returned error
// (the copy's own code) says the partial copy was left and where. A copy of a file or folder also
// keeps the original's Created date: the copy is a new item born now, so that date is stored in
// the copy's creation-date attribute (see ItemAttributes.h), where the target can keep one.
// Links inside the copied tree
// are never followed, and a link is copied as itself: a link may be copied into the folder it
// points to, where a folder may not be copied into itself.
// Stateless; any thread; blocking.
#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/foundation/Result.h"

namespace ml::darwin {

// An attribute of the user namespace left behind because the target's file system cannot keep it.
struct UnkeptAttribute {
  std::filesystem::path item;  // the copy (or the moved item) that lacks it
  std::string name;            // as the system lists it ("user.xdg.origin.url")
  friend bool operator==(const UnkeptAttribute&, const UnkeptAttribute&) = default;
};
using UnkeptAttributes = std::vector<UnkeptAttribute>;

// Set from any thread to abandon the copies that were given it: each looks at it between chunks of
// a file's contents and between the entries of a folder, and once it is set fails with ECANCELED
// and removes what it made. Nothing copied before is touched.
using Abandon = std::atomic<bool>;

// Appends to `unkept` what the target could not keep (also when the copy fails later).
foundation::Status copyItem(const std::filesystem::path& from, const std::filesystem::path& to,
                            UnkeptAttributes& unkept, const Abandon* abandon = nullptr);
// The same for callers that cannot pass the loss on: it is logged, once per copy.
foundation::Status copyItem(const std::filesystem::path& from, const std::filesystem::path& to);

// A rename when both lie on one file system (atomic, RENAME_NOREPLACE); across file systems a
// copy followed by the removal of the source. If that removal fails, the complete copy stays and
// the error is returned. Attributes the target cannot keep are lost as in copyItem. A move across
// file systems that is abandoned keeps its source whole and leaves no copy.
foundation::Status moveItem(const std::filesystem::path& from, const std::filesystem::path& to,
                            UnkeptAttributes& unkept, const Abandon* abandon = nullptr);
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
