#pragma once
// The application's state as the telemetry client sees it. The client has no user-interface
// toolkit of its own: the application installs a query that tells whether it is hidden.
#include <functional>

namespace ml::beacon {

class TLUtilityApplication {
 public:
  TLUtilityApplication() = delete;

  static constexpr int kActive = 0;
  static constexpr int kBackground = 2;
  static constexpr int kUnknown = 3;

  // kUnknown off the main thread; on it kBackground when the installed query says the
  // application is hidden, else kActive.
  static int applicationState();
  // Installed once by the application at start (thread-safe; an empty function removes it).
  static void installHiddenQuery(std::function<bool()> isHidden);
};

}  // namespace ml::beacon
