#pragma once
// Many paths kept compactly: their texts one after another in one buffer, and the file systems
// they are on once each. A Path costs several hundred bytes (its location is kept split into
// components); a packed one about its text and eight bytes, so a list of hundreds of thousands
// of items handed to a window is copied in milliseconds and holds a few dozen megabytes.
// Immutable once made; any thread.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files/Path.h"

namespace ml::list {

class PathPack {
 public:
  PathPack() = default;
  explicit PathPack(const std::vector<files::Path>& paths);

  std::size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  // The path at `index`, made on demand.
  files::Path operator[](std::size_t index) const;
  // Its location as text (the path's description).
  std::string_view text(std::size_t index) const;
  // Every path, in order.
  std::vector<files::Path> paths() const;

 private:
  std::string texts_;
  std::vector<std::uint64_t> ends_;  // where each path's text ends in texts_
  std::vector<std::shared_ptr<const files::FileSystem>> fileSystems_;  // distinct, first use first
  std::vector<std::uint32_t> fileSystemOf_;  // per path, into fileSystems_; empty when there is one
};

}  // namespace ml::list
