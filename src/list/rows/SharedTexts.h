#pragma once
// Texts that many rows have in common (the name of the volume holding the item, the name of its
// icon), kept once and shared by the rows built together. One thread at a time.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace ml::list {

class SharedTexts {
 public:
  using Text = std::shared_ptr<const std::string>;

  // The kept text equal to `text`, kept now if it is new. Past kLimit distinct texts a new one
  // is handed out unshared, so a list of unusual items cannot make this grow without end.
  Text operator()(std::string_view text);

  // The text `make` gives for items in `folder` lying on `device` of the file system
  // `fileSystem` (an identity only, never followed), made for the first such item and handed to
  // the others. For what depends on the folder and the volume alone, and is dear to find (the
  // volume's name reads the mount table). Past kFolderLimit folders the oldest are forgotten
  // all at once; rows built together mostly come folder by folder.
  Text forFolder(const void* fileSystem, uint64_t device, std::string_view folder,
                 const std::function<std::string()>& make);

  static constexpr std::size_t kLimit = 256;
  static constexpr std::size_t kFolderLimit = 4096;

 private:
  std::unordered_map<std::string_view, Text> kept_;
  struct FolderKey {
    const void* fileSystem;
    uint64_t device;
    std::string folder;
    friend bool operator==(const FolderKey&, const FolderKey&) = default;
  };
  struct FolderKeyHash {
    std::size_t operator()(const FolderKey& key) const noexcept {
      return std::hash<std::string>()(key.folder) ^ (std::hash<uint64_t>()(key.device) * 31) ^
             std::hash<const void*>()(key.fileSystem);
    }
  };
  std::unordered_map<FolderKey, Text, FolderKeyHash> folders_;
};

// `texts`' copy of `text`, or an unshared one when there is no `texts`.
inline SharedTexts::Text shared(SharedTexts* texts, std::string_view text) {
  return texts ? (*texts)(text) : std::make_shared<const std::string>(text);
}

}  // namespace ml::list
