#pragma once
// The file manager behind the session bus name org.freedesktop.FileManager1 (ShowItems,
// ShowItemProperties), started by D-Bus activation and quit by a SIGTERM to the process that owns
// the name (only when it runs as the same user).
//
// Errors: domain "org.freedesktop.DBus" with the bus's error text when there is no session bus,
// no file manager on it, or a call fails. Calls block up to the timeout; any thread.
#include "appkit/FileManager.h"

namespace ml::appkit {

class DBusFileManager final : public FileManager {
 public:
  static constexpr const char* kService = "org.freedesktop.FileManager1";
  static constexpr const char* kErrorDomain = "org.freedesktop.DBus";

  explicit DBusFileManager(int timeoutMs = 5000) : timeoutMs_(timeoutMs) {}

  foundation::Status showItems(const std::vector<std::filesystem::path>& items) override;
  foundation::Status showItemProperties(const std::vector<std::filesystem::path>& items) override;
  foundation::Status quit() override;
  foundation::Status launch() override;

 private:
  foundation::Status call(const char* method, const std::vector<std::filesystem::path>& items);

  int timeoutMs_;
};

}  // namespace ml::appkit
