#pragma once
// Who the application is: its reverse-DNS identifier (which names its folders and its preferences
// file), its display name and its version (the project version the build was made from).
#include <string>

namespace ml::foundation {

class AppIdentity {
 public:
  static constexpr const char* kIdentifier = "org.marrowlane.Marrowlane";
  static constexpr const char* kName = "Marrowlane";

  static std::string identifier() { return kIdentifier; }
  static std::string name() { return kName; }
  // "MAJOR.MINOR.PATCH" of the build.
  static std::string version();
};

}  // namespace ml::foundation
