#include "list/rows/SharedTexts.h"

namespace ml::list {

SharedTexts::Text SharedTexts::operator()(std::string_view text) {
  if (auto it = kept_.find(text); it != kept_.end()) return it->second;
  auto kept = std::make_shared<const std::string>(text);
  if (kept_.size() < kLimit) kept_.emplace(std::string_view(*kept), kept);
  return kept;
}

SharedTexts::Text SharedTexts::forFolder(const void* fileSystem, uint64_t device, std::string_view folder,
                                         const std::function<std::string()>& make) {
  FolderKey key{fileSystem, device, std::string(folder)};
  if (auto it = folders_.find(key); it != folders_.end()) return it->second;
  if (folders_.size() >= kFolderLimit) folders_.clear();
  Text text = (*this)(make());
  folders_.emplace(std::move(key), text);
  return text;
}

}  // namespace ml::list
