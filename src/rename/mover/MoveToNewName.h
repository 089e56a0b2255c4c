#pragma once
// Moves an item to a new name in its folder without ever replacing another item. Every rename of
// the application goes through here: the batch rename's confirmation, the list window's case
// changes and inline renames, and the Info window's apply.
//
// On a file system that ignores case (vfat, exfat, ...) "photo.JPG" and "photo.jpg" are one
// entry, so a move to the new spelling finds the item itself in the way and fails with EEXIST.
// When the item in the way is the item itself, the move goes through a temporary name in the
// same folder; when the second step fails the item is moved back, and when even that fails the
// error says where the item now is. When another item holds the name, the error (EEXIST) says
// so in words a user reads: "an item named “x” is already in this folder".
//
// Synchronous; any thread.
#include "files/Path.h"
#include "platform/foundation/Result.h"

namespace ml::rename {

// `target` is the item's new location, normally in the item's own folder.
foundation::Status moveToNewName(const files::Path& item, const files::Path& target);

}  // namespace ml::rename
