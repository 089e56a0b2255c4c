#pragma once
// A label colour: its "#RRGGBB" text and the default name of its label. Two colours are the same
// colour when their texts are equal, whatever their names.
#include <functional>
#include <string>

namespace ml::files {

struct Color {
  std::string hex;
  std::string name;

  friend bool operator==(const Color& a, const Color& b) { return a.hex == b.hex; }
};

}  // namespace ml::files

template <>
struct std::hash<ml::files::Color> {
  size_t operator()(const ml::files::Color& c) const noexcept { return std::hash<std::string>()(c.hex); }
};
