#pragma once
// Which of the dialog's name-change controls each mode shows. `locationPopup` absent: the popup
// keeps whatever it had (its container is hidden in those modes anyway).
#include <optional>

#include "rename/dialog/ChangeMode.h"

namespace ml::rename {

struct NameChangeVisibility {
  bool pattern = true;
  bool replacement = true;
  bool withLabel = true;
  bool note = false;
  bool occurrencesAndLocations = true;
  std::optional<bool> locationPopup = true;
  friend bool operator==(const NameChangeVisibility&, const NameChangeVisibility&) = default;
};

inline NameChangeVisibility nameChangeVisibility(const ChangeMode& mode) {
  switch (mode.kind()) {
    case ChangeMode::Kind::replace:
      if (mode.characters()) return {true, true, true, true, false, std::nullopt};
      return {true, true, true, false, true, true};
    case ChangeMode::Kind::remove:
      if (mode.characters()) return {true, false, false, true, false, std::nullopt};
      return {true, false, false, false, true, true};
    // A regular expression carries its own anchors.
    case ChangeMode::Kind::regex: return {true, true, true, false, true, false};
    case ChangeMode::Kind::none: return {false, false, false, false, false, std::nullopt};
  }
  return {};
}

}  // namespace ml::rename
