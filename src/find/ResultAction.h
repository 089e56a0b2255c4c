#pragma once
// What a find window does with the results of a search it ends. The raw values are the tags of
// the result popup's items.
#include <optional>

namespace ml::find {

enum class ResultAction : int { newList = 0, addToFrontList = 1, infoWindow = 4 };

inline std::optional<ResultAction> resultActionFromTag(int tag) {
  switch (tag) {
    case 0: return ResultAction::newList;
    case 1: return ResultAction::addToFrontList;
    case 4: return ResultAction::infoWindow;
    default: return std::nullopt;
  }
}

}  // namespace ml::find
