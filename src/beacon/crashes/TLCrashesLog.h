#pragma once
// The crash reporting service's log tag.
#include <string_view>

namespace ml::beacon {

inline constexpr std::string_view kCrashesLogTag = "BeaconCrashes";

}  // namespace ml::beacon
