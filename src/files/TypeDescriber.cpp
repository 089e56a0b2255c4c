#include "files/TypeDescriber.h"

#include <sys/stat.h>

#include <atomic>

namespace ml::files {

namespace {

class BuiltInDescriber final : public TypeDescriber {
 public:
  std::optional<std::string> kindDescription(const std::filesystem::path& item) const override {
    struct stat st;
    if (::lstat(item.c_str(), &st) != 0) return std::nullopt;
    if (S_ISDIR(st.st_mode)) return "Folder";
    return std::nullopt;
  }
  FileIcon icon(const std::filesystem::path& item) const override {
    struct stat st;
    std::string name = "text-x-generic";
    if (::lstat(item.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) name = "folder";
      else if (S_ISLNK(st.st_mode)) name = "inode-symlink";
    }
    return {name, item};
  }
};

// The one slot the GUI layer fills in; read with an atomic load so describers can be swapped
// while views are being read on other threads.
std::atomic<std::shared_ptr<const TypeDescriber>>& slot() {
  static std::atomic<std::shared_ptr<const TypeDescriber>> installed;
  return installed;
}

}  // namespace

std::shared_ptr<const TypeDescriber> TypeDescriber::current() {
  if (auto d = slot().load()) return d;
  static const auto builtIn = std::make_shared<const BuiltInDescriber>();
  return builtIn;
}

void TypeDescriber::install(std::shared_ptr<const TypeDescriber> describer) { slot().store(std::move(describer)); }

}  // namespace ml::files
