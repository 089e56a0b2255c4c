#pragma once
// The telemetry client's secret strings, kept in the application's key store (a private folder
// in the data folder: platform/security/KeyStore.h). Items are named by a service and a key;
// the default service is the application's identifier followed by ".Beacon".
//
// Stateless and thread-safe: every call opens the store at the current data folder, so tests
// that point $XDG_DATA_HOME at a sandbox get a store of their own.
#include <optional>
#include <string>
#include <string_view>

#include "platform/security/KeyStore.h"

namespace ml::beacon {

class TLKeychainUtil {
 public:
  TLKeychainUtil() = delete;

  // Stores the string, replacing an item already stored under the key; true when stored.
  static bool storeString(std::string_view value, std::string_view key, std::string_view serviceName);
  static std::optional<std::string> stringForKey(std::string_view key, std::string_view serviceName);
  // Deletes the item and answers its former value; nothing when there was none or deletion failed.
  static std::optional<std::string> deleteStringForKey(std::string_view key, std::string_view serviceName);
  // Deletes every item of the default service; true when that succeeded.
  static bool clear();

  static bool storeString(std::string_view value, std::string_view key) { return storeString(value, key, serviceName()); }
  static std::optional<std::string> stringForKey(std::string_view key) { return stringForKey(key, serviceName()); }
  static std::optional<std::string> deleteStringForKey(std::string_view key) { return deleteStringForKey(key, serviceName()); }

  // "<application identifier>.Beacon"
  static std::string serviceName();
  // The store under the application's data folder.
  static security::KeyStore keyStore();
};

}  // namespace ml::beacon
