#include "list/rows/SharedTexts.h"

namespace ml::list {

SharedTexts::Text SharedTexts::operator()(std::string_view text) {
  if (auto it = kept_.find(text); it != kept_.end()) return it->second;
  auto kept = std::make_shared<const std::string>(text);
  if (kept_.size() < kLimit) kept_.emplace(std::string_view(*kept), kept);
  return kept;
}

}  // namespace ml::list
