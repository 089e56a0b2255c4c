#pragma once
// A rule that turns one item's current name (the last component of its path, extension
// included) into its new name. A pure string function: it touches no file and reads no setting,
// so it may run on any thread; implementations are immutable once shared.
#include <string>
#include <string_view>

#include "platform/foundation/Result.h"

namespace ml::rename {

class RenamingStrategy {
 public:
  virtual ~RenamingStrategy() = default;
  // The new name, or the error that kept the rule from computing one. Names are UTF-8.
  virtual foundation::Result<std::string> apply(std::string_view name) const = 0;
};

}  // namespace ml::rename
