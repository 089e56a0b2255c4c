#pragma once
// Kinds ("PNG image", "Folder") and icons need the desktop's mime database and icon theme,
// which live in the GUI layer. This module asks through this interface; the GUI installs its
// implementation at start-up, and until then a plain built-in one answers (folders and links
// only). Thread-safe: install() may race with readers, who keep the describer they got.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "files/FileIcon.h"

namespace ml::files {

class TypeDescriber {
 public:
  virtual ~TypeDescriber() = default;
  // The localized description of the item's type; nullopt when there is none.
  virtual std::optional<std::string> kindDescription(const std::filesystem::path& item) const = 0;
  virtual FileIcon icon(const std::filesystem::path& item) const = 0;

  // The installed describer, or the built-in one.
  static std::shared_ptr<const TypeDescriber> current();
  // Installs `describer` (null restores the built-in one).
  static void install(std::shared_ptr<const TypeDescriber> describer);
};

}  // namespace ml::files
