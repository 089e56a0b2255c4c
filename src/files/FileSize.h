#pragma once
// The size of an item or of one of its forks: bytes of content and bytes the file system
// allocated. (-1, -1) is the marker for an item that has no size of that kind (a link, a device).
#include <cstdint>

namespace ml::files {

struct FileSize {
  int64_t actual = 0;
  int64_t allocated = 0;

  static constexpr FileSize unknown() { return {-1, -1}; }
  bool isUnknown() const { return actual == -1 && allocated == -1; }
  friend bool operator==(const FileSize&, const FileSize&) = default;
};

}  // namespace ml::files
