#pragma once
// The crash reporting service's folders inside the telemetry client's data folder. Each accessor
// creates its folder once per process (again after resetDirectory()) and returns its name, a
// path component relative to the data folder. Thread-safe.
#include <string>

namespace ml::beacon {

class TLCrashesUtil {
 public:
  static constexpr const char* kCrashesDir = "crashes";
  static constexpr const char* kLogBufferDir = "crasheslogbuffer";
  static constexpr const char* kWrapperExceptionsDir = "crasheswrapperexceptions";

  static std::string crashesDir();
  static std::string logBufferDir();
  static std::string wrapperExceptionsDir();
  // The next call of each accessor creates its folder again.
  static void resetDirectory();
};

}  // namespace ml::beacon
