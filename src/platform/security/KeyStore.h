#pragma once
// A small store of secret items, the stand-in for the platform's keychain of generic passwords.
//
// Items are addressed by (service, account) and hold opaque bytes. On disk:
//   <root>/                 directory, mode 0700
//     <service>/            directory, mode 0700
//       <account>           one file per item, mode 0600
// Service and account names are percent-encoded into file names, so any name (empty, "..", with
// slashes) maps to one safe file name inside its folder ("org.example.App" stays readable). Every write goes to a temporary file
// that is then linked (add) or renamed (replace) into place, so an item is either wholly there
// or absent, and two concurrent adds of one item end with exactly one winner.
//
// Status codes follow the keychain's so callers can keep its add/duplicate/delete dance:
// 0 success, -25299 duplicate item, -25300 item not found, -25308 interaction not allowed
// (permissions of an existing folder could not be made private), other negative values are
// negated errno values of the failing call.
//
// Thread-safe: no state beyond the root path; the file system serialises concurrent writers.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/security/Bytes.h"

namespace ml::security {

class KeyStore {
 public:
  static constexpr int kSuccess = 0;
  static constexpr int kDuplicateItem = -25299;
  static constexpr int kItemNotFound = -25300;
  static constexpr int kNotPrivate = -25308;
  // Items larger than this are refused on write and treated as corrupt on read.
  static constexpr std::size_t kMaxItemSize = 64 * 1024;

  explicit KeyStore(std::filesystem::path root);

  const std::filesystem::path& root() const { return root_; }

  // Adds a new item; kDuplicateItem when one exists already (its value is left alone).
  int add(std::string_view service, std::string_view account, ByteView value) const;
  // Replaces or adds the item.
  int set(std::string_view service, std::string_view account, ByteView value) const;
  // The item's bytes; `status` (optional) receives kItemNotFound when absent.
  std::optional<Bytes> copy(std::string_view service, std::string_view account, int* status = nullptr) const;
  // Deletes one item; kItemNotFound when absent.
  int remove(std::string_view service, std::string_view account) const;
  // Deletes every item of the service; kItemNotFound when it had none.
  int removeAll(std::string_view service) const;

  // The file name a service or account name is stored under (exposed for tests and tooling).
  static std::string encodeName(std::string_view name);

 private:
  // Creates (or tightens to 0700) the root and the service folder; answers a status.
  int prepareServiceFolder(const std::filesystem::path& folder) const;
  int write(std::string_view service, std::string_view account, ByteView value, bool replace) const;

  std::filesystem::path root_;
};

}  // namespace ml::security
