#include "find/FoundPaths.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace ml::find {

void ResultLog::add(const std::shared_ptr<const files::FileSystem>& fileSystem, const std::string& text) {
  if (lastBlockUsed_ + text.size() > lastBlockSize_) {
    lastBlockSize_ = std::max(kBlockBytes, text.size());
    blocks_.push_back(std::make_unique<char[]>(lastBlockSize_));
    lastBlockUsed_ = 0;
  }
  std::memcpy(blocks_.back().get() + lastBlockUsed_, text.data(), text.size());
  std::uint32_t which = 0;
  while (which < fileSystems_.size() && fileSystems_[which] != fileSystem) ++which;
  if (which == fileSystems_.size()) fileSystems_.push_back(fileSystem);
  entries_.push_back(Entry{static_cast<std::uint32_t>(blocks_.size() - 1), static_cast<std::uint32_t>(lastBlockUsed_),
                           static_cast<std::uint32_t>(text.size()), which});
  lastBlockUsed_ += text.size();
}

std::optional<std::size_t> ResultLog::appendAt(std::size_t expected, const std::vector<files::Path>& batch) {
  std::lock_guard lock(mutex_);
  if (entries_.size() != expected) return std::nullopt;
  for (const auto& path : batch) add(path.sharedFileSystem(), path.url().native());
  return entries_.size();
}

std::shared_ptr<ResultLog> ResultLog::copyOfFirst(std::size_t count) const {
  auto copy = std::make_shared<ResultLog>();
  std::lock_guard lock(mutex_);
  count = std::min(count, entries_.size());
  for (std::size_t i = 0; i < count; ++i) {
    const Entry& entry = entries_[i];
    copy->add(fileSystems_[entry.fileSystem], std::string(blocks_[entry.block].get() + entry.offset, entry.length));
  }
  return copy;
}

std::vector<files::Path> ResultLog::slice(std::size_t from, std::size_t to) const {
  std::lock_guard lock(mutex_);
  to = std::min(to, entries_.size());
  std::vector<files::Path> paths;
  if (from >= to) return paths;
  paths.reserve(to - from);
  for (std::size_t i = from; i < to; ++i) {
    const Entry& entry = entries_[i];
    paths.emplace_back(fileSystems_[entry.fileSystem], std::string(blocks_[entry.block].get() + entry.offset, entry.length));
  }
  return paths;
}

std::size_t ResultLog::size() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

std::vector<files::Path> FoundPaths::slice(std::size_t from, std::size_t to) const {
  if (!log_) return {};
  return log_->slice(from, std::min(to, count_));
}

}  // namespace ml::find
