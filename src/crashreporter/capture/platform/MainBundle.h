#pragma once
// What the crash reporter reads of the application's bundle: its identifier and its two version
// strings (the stand-in for the main bundle's identifier and info values). On Linux the
// application's identity (platform/foundation/AppIdentity.h) serves as the main bundle. Any of the
// values may be missing in a bundle made by hand (tests).
#include <optional>
#include <string>

namespace ml::crash {

struct TLCrashBundle {
  std::optional<std::string> bundleIdentifier;
  std::optional<std::string> bundleVersion;        // the build version
  std::optional<std::string> shortVersionString;   // the marketing version

  // The application's own bundle.
  static TLCrashBundle mainBundle();
};

}  // namespace ml::crash
