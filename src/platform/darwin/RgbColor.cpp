#include "platform/darwin/RgbColor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ml::darwin {

std::string hexString(const RgbColor& color) {
  const double components[] = {color.red, color.green, color.blue};
  int bytes[3];
  for (int i = 0; i < 3; ++i) {
    if (!std::isfinite(components[i])) return "FFFFFF";
    bytes[i] = static_cast<int>(std::lround(std::clamp(components[i], 0.0, 1.0) * 255.0));
  }
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", bytes[0], bytes[1], bytes[2]);
  return text;
}

}  // namespace ml::darwin
