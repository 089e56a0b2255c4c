#pragma once
// One Finder tag: the name the user sees and, optionally, its label colour.
#include <functional>
#include <optional>
#include <string>

#include "files/Color.h"

namespace ml::files {

struct FinderTag {
  std::string name;
  std::optional<Color> color;

  friend bool operator==(const FinderTag&, const FinderTag&) = default;
};

}  // namespace ml::files

// Hashes the name, then 0 for no colour or 1 and the colour's text.
template <>
struct std::hash<ml::files::FinderTag> {
  size_t operator()(const ml::files::FinderTag& t) const noexcept {
    size_t h = std::hash<std::string>()(t.name);
    auto mix = [&h](size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
    if (!t.color) {
      mix(0);
    } else {
      mix(1);
      mix(std::hash<std::string>()(t.color->hex));
    }
    return h;
  }
};
