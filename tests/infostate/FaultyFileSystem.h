#pragma once
// The machine's file system with writes that can be made to fail: each armed fault fails every
// later call of its operation with the given error, until disarmed. Counts the writes it passed on.
#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>
#include <optional>

#include "files/DefaultFileSystem.h"

namespace ml::info::testing {

class FaultyFileSystem final : public files::FileSystem, public std::enable_shared_from_this<FaultyFileSystem> {
 public:
  static std::shared_ptr<FaultyFileSystem> make() { return std::make_shared<FaultyFileSystem>(); }

  files::Path path(const std::filesystem::path& url) const { return files::Path(shared_from_this(), url); }

  std::optional<foundation::Error> failBasic, failFinder, failMove, failRead;
  std::filesystem::path root = "/";
  std::optional<std::string> volume;  // answers every volume-name question when set
  bool withoutCreationDates = false;  // items read as having no creation date
  mutable std::atomic<int> basicWrites{0}, finderWrites{0}, moves{0};

  std::string separator() const override { return "/"; }
  files::Path rootPath() const override { return path(root); }
  bool exists(const files::Path& p) const override { return real_.exists(p); }
  foundation::Status createFile(const files::Path& p) const override { return real_.createFile(p); }
  foundation::Status createDirectory(const files::Path& p) const override { return real_.createDirectory(p); }
  bool isDirectory(const files::Path& p) const override { return real_.isDirectory(p); }
  std::shared_ptr<const files::BasicAttributeView> basicAttributes(const files::Path& p) const override {
    if (failRead) return nullptr;
    auto view = real_.basicAttributes(p);
    if (view && withoutCreationDates) return std::make_shared<const WithoutCreationDate>(view);
    return view;
  }
  std::shared_ptr<const files::PosixFileAttributeView> posixAttributes(const files::Path& p) const override {
    return failRead ? nullptr : real_.posixAttributes(p);
  }
  std::shared_ptr<const files::AppleAttributeView> finderAttributes(const files::Path& p) const override {
    return failRead ? nullptr : real_.finderAttributes(p);
  }
  std::shared_ptr<const files::FullAttributeView> allAttributes(const files::Path& p) const override {
    return failRead ? nullptr : real_.allAttributes(p);
  }
  std::optional<std::string> volumeName(const files::Path& p) const override {
    return volume ? volume : real_.volumeName(p);
  }
  foundation::Status copy(const files::Path& from, const files::Path& to) const override { return real_.copy(from, to); }
  foundation::Status move(const files::Path& from, const files::Path& to) const override {
    if (failMove) return *failMove;
    ++moves;
    return real_.move(from, to);
  }
  foundation::Status updateBasicAttributes(const files::Path& p, const files::BasicAttributeView& v) const override {
    if (failBasic) return *failBasic;
    ++basicWrites;
    return real_.updateBasicAttributes(p, v);
  }
  foundation::Status updatePosixAttributes(const files::Path& p, const files::PosixFileAttributeView& v) const override {
    return real_.updatePosixAttributes(p, v);
  }
  foundation::Status updateFinderAttributes(const files::Path& p, const files::AppleAttributeView& v) const override {
    if (failFinder) return *failFinder;
    ++finderWrites;
    return real_.updateFinderAttributes(p, v);
  }
  std::optional<std::vector<files::Path>> contentsOf(const files::Path& d) const override { return real_.contentsOf(d); }
  std::optional<files::ItemIdentity> identity(const files::Path& p) const override { return real_.identity(p); }

 private:
  class WithoutCreationDate final : public files::BasicAttributeView {
   public:
    explicit WithoutCreationDate(std::shared_ptr<const files::BasicAttributeView> v) : v_(std::move(v)) {}
    std::optional<files::Date> creationDate() const override { return std::nullopt; }
    files::Date lastModifiedDate() const override { return v_->lastModifiedDate(); }
    files::Date lastAccessedDate() const override { return v_->lastAccessedDate(); }
    bool isDirectory() const override { return v_->isDirectory(); }
    bool isSymbolicLink() const override { return v_->isSymbolicLink(); }
    bool isRegularFile() const override { return v_->isRegularFile(); }
    bool isOther() const override { return v_->isOther(); }
    bool isInvisible() const override { return v_->isInvisible(); }
    bool isExtensionHidden() const override { return v_->isExtensionHidden(); }
    files::FileSize totalSize() const override { return v_->totalSize(); }

   private:
    std::shared_ptr<const files::BasicAttributeView> v_;
  };

  files::DefaultFileSystem real_;
};

}  // namespace ml::info::testing
