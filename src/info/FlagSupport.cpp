#include "info/FlagSupport.h"

#include <filesystem>
#include <system_error>

#include "files/VisibleName.h"

namespace ml::info {

std::optional<std::string> whyFlagsCannotBeSet(const files::Path& item, std::string_view what) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::symlink_status(item.url(), error);
  if (error) return std::nullopt;
  const char* kind = nullptr;
  switch (status.type()) {
    case fs::file_type::fifo: kind = "a named pipe"; break;
    case fs::file_type::socket: kind = "a socket"; break;
    case fs::file_type::block:
    case fs::file_type::character: kind = "a device"; break;
    case fs::file_type::symlink: kind = "a symbolic link"; break;
    default: return std::nullopt;
  }
  return "\u201C" + files::visibleName(item.url().filename().string()) + "\u201D is " + kind +
         ": only files and folders can carry " + std::string(what) + ".";
}

}  // namespace ml::info
