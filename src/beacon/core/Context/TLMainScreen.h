#pragma once
// The primary screen as the telemetry client sees it. The client has no user-interface toolkit of
// its own: the application installs a provider that answers the primary screen's metrics (or
// nothing when there is no screen). Until one is installed the screen is unknown.
//
// The provider may be called from any thread (the device record is built on the channel group's
// queue), so it should answer from values it keeps, not query a toolkit bound to its GUI thread.
// Installing is thread-safe.
#include <functional>
#include <optional>
#include <string>

namespace ml::beacon {

struct TLScreenMetrics {
  double widthInPoints = 0;
  double heightInPoints = 0;
  double scaleFactor = 1;  // device pixels per point
};

class TLMainScreen {
 public:
  TLMainScreen() = delete;
  using Provider = std::function<std::optional<TLScreenMetrics>()>;

  // An empty function removes the provider.
  static void installProvider(Provider provider);
  static std::optional<TLScreenMetrics> metrics();
  // "<height x scale>x<width x scale>" in device pixels, each truncated to an integer (height
  // first); "0x0" without a screen.
  static std::string screenSizeText(const std::optional<TLScreenMetrics>& metrics);
};

}  // namespace ml::beacon
