#pragma once
// A colour as three components in 0...1 (red, green, blue), the form in which label colours
// travel below the GUI layer, and its "#RRGGBB" text.
#include <string>

namespace ml::darwin {

struct RgbColor {
  double red = 0;
  double green = 0;
  double blue = 0;
  friend bool operator==(const RgbColor&, const RgbColor&) = default;
};

// "#" and six upper-case hexadecimal digits; each component times 255, rounded to the nearest
// integer with halves away from zero (0.5 gives 80). Components outside 0...1 are clamped;
// a colour with a component that is not a number has no such text and gives "FFFFFF".
std::string hexString(const RgbColor& color);

}  // namespace ml::darwin
