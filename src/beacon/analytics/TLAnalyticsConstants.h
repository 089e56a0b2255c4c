#pragma once
// Names shared by the analytics service's parts.
#include <string_view>

namespace ml::beacon {

// Tag of every analytics line of the telemetry logger.
inline constexpr std::string_view kBeaconAnalyticsLogTag = "BeaconAnalytics";

}  // namespace ml::beacon
