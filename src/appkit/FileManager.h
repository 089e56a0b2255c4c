#pragma once
// The desktop's file manager, as far as the application asks things of it.
#include <filesystem>
#include <vector>

#include "platform/foundation/Result.h"

namespace ml::appkit {

class FileManager {
 public:
  virtual ~FileManager() = default;
  // Shows the items selected in file-manager windows.
  virtual foundation::Status showItems(const std::vector<std::filesystem::path>& items) = 0;
  // Opens the file manager's properties (information) window of each item.
  virtual foundation::Status showItemProperties(const std::vector<std::filesystem::path>& items) = 0;
  // Quits the running file manager; succeeds when none runs.
  virtual foundation::Status quit() = 0;
  // Starts the file manager.
  virtual foundation::Status launch() = 0;
};

}  // namespace ml::appkit
