#pragma once
// Names the telemetry client uses for itself.
#include <string_view>

namespace ml::beacon {

// The client's reverse-domain prefix: the name of its folder under the application's data folder,
// the prefix of its queue labels and its error domain.
inline constexpr std::string_view kTLReverseDomainPrefix = "org.marrowlane.beacon";

}  // namespace ml::beacon
