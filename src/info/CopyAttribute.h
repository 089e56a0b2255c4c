#pragma once
// Puts the text of one attribute of the shown item on the desktop's clipboard. An attribute
// without a text (an item without a resource fork has no version, a folder no type code) leaves
// the clipboard as it was, and a message on the front window tells the user why.
#include <optional>
#include <string>

#include "files/Path.h"
#include "info/state/CopyableAttribute.h"
#include "info/state/InfoWindowState.h"
#include "platform/store/Command.h"

namespace ml::info {

class CopyAttribute final : public store::Command<InfoWindowState> {
 public:
  explicit CopyAttribute(CopyableAttribute attribute) : attribute_(attribute) {}
  // Reads the item on the store's queue; the clipboard is set on the main thread.
  void execute(const InfoWindowState& state, store::Core<InfoWindowState>& core) override;
  CopyableAttribute attribute() const { return attribute_; }

 private:
  CopyableAttribute attribute_;
};

// The text copied for `attribute` of the item at `path`, or nothing. Blocking (reads the item).
//   kindDescription             the kind
//   shortVersion, longVersion   the version text of the resource fork (the same text for both)
//   sizeInfo                    the actual size, "5,321 bytes" ("Unknown File Size" unreadable)
//   forkSizes                   "Data fork: 8 KB (5,321 bytes used), resource fork: ..." (files only)
//   createdDate ... accessedDate, backupDate   the date, medium date and time styles
//   fileType, creator           the four-character code
//   path, parent                the path, its folder's path ("/" for the root)
//   hfsPath, hfsParent          the volume name and every path component, root "/" included,
//                               joined with ":" ("Data:/:Users:a"); the root's parent is the
//                               volume name alone
std::optional<std::string> copyableText(CopyableAttribute attribute, const files::Path& path);

}  // namespace ml::info
