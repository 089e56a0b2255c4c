#pragma once
// Asking the user for items in an open panel: one item, several, or one folder. Each panel is
// modeless (the rest of the application stays usable), lists hidden files, and calls back only
// when the user chose something; a cancelled panel calls nothing.
#include <filesystem>
#include <functional>
#include <vector>

namespace ml::appkit {

class OpenPanels {
 public:
  using OneItem = std::function<void(std::filesystem::path)>;
  using Items = std::function<void(std::vector<std::filesystem::path>)>;

  virtual ~OpenPanels() = default;

  // Files, and folders too when `allowDirectories`. Call on the main thread; the callback gets
  // the first chosen item on the main thread.
  virtual void chooseFile(bool allowDirectories, OneItem callback) = 0;
  // Several items. Any thread (the panel is made on the main thread); the callback gets every
  // chosen item, in the panel's order, on a background thread.
  virtual void chooseFiles(bool allowDirectories, bool allowFiles, Items callback) = 0;
  // One folder. Any thread; the callback runs on a background thread.
  virtual void chooseDirectory(OneItem callback) = 0;
};

}  // namespace ml::appkit
