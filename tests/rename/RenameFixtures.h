#pragma once
// Helpers of the rename suite: files in a temporary folder as paths, simple rules, and a file
// system that ignores the case of names as some removable volumes do.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "files/DefaultFileSystem.h"
#include "platform/foundation/Result.h"
#include "rename/StrategyRule.h"
#include "rename/rules/BasicRenamingStrategy.h"
#include "shell/RenameWindows.h"
#include "support/TempDir.h"

namespace ml::rename::testing {

namespace fs = std::filesystem;

// Files (and, for names ending in "/", folders) under `dir`, as paths in the given order.
template <class Folder>  // test::TempDir or test::TestFolder
std::vector<files::Path> makeItems(const Folder& dir, const std::vector<std::string>& names) {
  std::vector<files::Path> items;
  for (const auto& name : names) {
    if (name.ends_with("/")) {
      fs::create_directories(dir.path() / name);
      items.emplace_back(dir.path() / name.substr(0, name.size() - 1));
    } else {
      items.emplace_back(dir.write(name, "contents of " + name));
    }
  }
  return items;
}

inline std::string contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A rule from a configured BasicRenamingStrategy.
template <class Configure>
std::shared_ptr<const shell::RenameRule> ruleWith(Configure configure) {
  auto strategy = std::make_shared<BasicRenamingStrategy>();
  configure(*strategy);
  return std::make_shared<StrategyRule>(std::move(strategy));
}

inline std::shared_ptr<const shell::RenameRule> suffixRule(std::string suffix) {
  return ruleWith([&](BasicRenamingStrategy& s) { s.suffix = suffix; });
}

// Answers with a fixed new name for every item.
class FixedNameRule final : public shell::RenameRule {
 public:
  explicit FixedNameRule(std::string name) : name_(std::move(name)) {}
  foundation::Result<std::string> apply(const std::string&) const override { return name_; }

 private:
  std::string name_;
};

// The machine's file system, except that a name in a folder also finds an entry spelt with other
// case: moving "a.txt" to "A.TXT" meets the item itself, as on a case-insensitive volume.
class CaseInsensitiveFileSystem final : public files::FileSystem {
 public:
  std::string separator() const override { return real_.separator(); }
  files::Path rootPath() const override { return real_.rootPath(); }
  bool exists(const files::Path& p) const override { return real_.exists(resolve(p)); }
  foundation::Status createFile(const files::Path& p) const override { return real_.createFile(p); }
  foundation::Status createDirectory(const files::Path& p) const override { return real_.createDirectory(p); }
  bool isDirectory(const files::Path& p) const override { return real_.isDirectory(resolve(p)); }
  std::shared_ptr<const files::BasicAttributeView> basicAttributes(const files::Path& p) const override {
    return real_.basicAttributes(resolve(p));
  }
  std::shared_ptr<const files::PosixFileAttributeView> posixAttributes(const files::Path& p) const override {
    return real_.posixAttributes(resolve(p));
  }
  std::shared_ptr<const files::AppleAttributeView> finderAttributes(const files::Path& p) const override {
    return real_.finderAttributes(resolve(p));
  }
  std::shared_ptr<const files::FullAttributeView> allAttributes(const files::Path& p) const override {
    return real_.allAttributes(resolve(p));
  }
  std::optional<std::string> volumeName(const files::Path& p) const override { return real_.volumeName(p); }
  foundation::Status copy(const files::Path& from, const files::Path& to) const override { return real_.copy(from, to); }
  foundation::Status move(const files::Path& from, const files::Path& to) const override {
    if (resolve(to).url() != to.url()) return foundation::Error::posix(EEXIST);
    return real_.move(resolve(from), to);
  }
  foundation::Status updateBasicAttributes(const files::Path& p, const files::BasicAttributeView& v) const override {
    return real_.updateBasicAttributes(p, v);
  }
  foundation::Status updatePosixAttributes(const files::Path& p, const files::PosixFileAttributeView& v) const override {
    return real_.updatePosixAttributes(p, v);
  }
  foundation::Status updateFinderAttributes(const files::Path& p, const files::AppleAttributeView& v) const override {
    return real_.updateFinderAttributes(p, v);
  }
  std::optional<std::vector<files::Path>> contentsOf(const files::Path& d) const override { return real_.contentsOf(d); }
  std::optional<files::ItemIdentity> identity(const files::Path& p) const override { return real_.identity(resolve(p)); }

 private:
  static std::string folded(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name;
  }
  // The existing entry whose name equals p's ignoring case, else p itself.
  files::Path resolve(const files::Path& p) const {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(p.url().parent_path(), ec)) {
      if (folded(entry.path().filename().string()) == folded(p.url().filename().string())) {
        return files::Path(p.sharedFileSystem(), entry.path());
      }
    }
    return p;
  }

  files::DefaultFileSystem real_;
};

}  // namespace ml::rename::testing
