#pragma once
// What a search found, kept compactly: the paths' texts in large blocks, each path a small entry
// naming its stretch and its file system. A Path costs several hundred bytes (its location is
// kept split into components), an entry here about its text and sixteen bytes, so the results
// of a whole-volume search (hundreds of thousands) hold tens of megabytes, not a gigabyte.
//
// ResultLog is append-only: entries never change once written, so a reader of the first N
// entries sees them whatever is added later. Its own lock makes it safe from any thread.
// FoundPaths is a fixed prefix of a log, the value results are handed on as.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "files/Path.h"

namespace ml::find {

class ResultLog {
 public:
  // Appends `batch` when the log holds exactly `expected` paths and gives the new count;
  // otherwise gives nothing and leaves the log alone.
  std::optional<std::size_t> appendAt(std::size_t expected, const std::vector<files::Path>& batch);
  // A log of its own holding the first `count` paths of this one.
  std::shared_ptr<ResultLog> copyOfFirst(std::size_t count) const;
  // Paths [from, to), made on demand; `to` past the end counts as the end.
  std::vector<files::Path> slice(std::size_t from, std::size_t to) const;
  std::size_t size() const;

 private:
  struct Entry {
    std::uint32_t block;
    std::uint32_t offset;
    std::uint32_t length;
    std::uint32_t fileSystem;
  };
  // A block's room for texts; a longer text gets a block of its own.
  static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

  void add(const std::shared_ptr<const files::FileSystem>& fileSystem, const std::string& text);

  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t lastBlockUsed_ = kBlockBytes;  // bytes used in the last block (full: none yet)
  std::size_t lastBlockSize_ = 0;
  std::vector<Entry> entries_;
  std::vector<std::shared_ptr<const files::FileSystem>> fileSystems_;
};

// The first `count` paths of a log, in arrival order.
class FoundPaths {
 public:
  FoundPaths() = default;
  FoundPaths(std::shared_ptr<const ResultLog> log, std::size_t count) : log_(std::move(log)), count_(count) {}

  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  // Paths [from, to) of these, made on demand.
  std::vector<files::Path> slice(std::size_t from, std::size_t to) const;
  std::vector<files::Path> all() const { return slice(0, count_); }

 private:
  std::shared_ptr<const ResultLog> log_;
  std::size_t count_ = 0;
};

}  // namespace ml::find
