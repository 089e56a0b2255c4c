// Feeds arbitrary bytes as a .trashinfo file another program left in the Trash, and as the path of
// an item being trashed. A file must give a record or an error, never a crash; a record must be
// written back to the same record; and any path (bytes that are not UTF-8, newlines, "%", "=")
// must be read back byte for byte from the file the Trash writes for it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "appkit/trashinfo/TrashInfo.h"

using ml::appkit::TrashInfo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto parsed = TrashInfo::parse(text);
  if (parsed) {
    if (parsed->path.empty() || parsed->path.find('\0') != std::string::npos) __builtin_trap();
    auto again = TrashInfo::parse(parsed->format());
    if (!again || *again != *parsed) __builtin_trap();
  }

  // Paths are at most a few kilobytes; a longer one could not be recorded within the size limit.
  if (!text.empty() && text.size() <= ml::appkit::kMaxTrashInfoBytes / 4 && text.find('\0') == std::string_view::npos) {
    const TrashInfo written{std::string(text), "2026-12-07T13:12:28"};
    auto read = TrashInfo::parse(written.format());
    if (!read || *read != written) __builtin_trap();
  }
  return 0;
}
