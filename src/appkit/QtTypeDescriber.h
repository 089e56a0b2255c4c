#pragma once
// Kinds and icons from the desktop's shared-mime-info database (QMimeDatabase, which any thread
// may use): the kind is the mime type's description with its first letter capitalized ("PNG
// image", "Folder"), the icon the mime type's theme icon name. iconFor() turns that into an image
// on the main thread, falling back to the file icon provider.
#include <QIcon>

#include "files/TypeDescriber.h"

namespace ml::appkit {

class QtTypeDescriber final : public files::TypeDescriber {
 public:
  std::optional<std::string> kindDescription(const std::filesystem::path& item) const override;
  files::FileIcon icon(const std::filesystem::path& item) const override;
};

// Main thread.
QIcon iconFor(const files::FileIcon& icon);

}  // namespace ml::appkit
