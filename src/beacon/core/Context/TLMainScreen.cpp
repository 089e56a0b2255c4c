#include "beacon/core/Context/TLMainScreen.h"
#include "beacon/core/TLNeverDestroyed.h"

#include <cmath>
#include <limits>
#include <memory>
#include <mutex>

namespace ml::beacon {

namespace {

struct InstalledProvider {
  std::mutex lock;
  std::shared_ptr<const TLMainScreen::Provider> provider;
};

InstalledProvider& installed() {
  static TLNeverDestroyed<InstalledProvider> holder;
  return holder.get();
}

// Truncated toward zero; values that are not finite or do not fit read as 0.
long long pixels(double points, double scale) {
  double value = points * scale;
  if (!std::isfinite(value) || std::fabs(value) >= static_cast<double>(std::numeric_limits<int>::max())) return 0;
  return static_cast<long long>(value);
}

}  // namespace

void TLMainScreen::installProvider(Provider provider) {
  auto& holder = installed();
  std::lock_guard guard(holder.lock);
  holder.provider = provider ? std::make_shared<const Provider>(std::move(provider)) : nullptr;
}

std::optional<TLScreenMetrics> TLMainScreen::metrics() {
  std::shared_ptr<const Provider> provider;
  {
    auto& holder = installed();
    std::lock_guard guard(holder.lock);
    provider = holder.provider;
  }
  // Called outside the lock: a provider may take its own locks.
  return provider ? (*provider)() : std::nullopt;
}

std::string TLMainScreen::screenSizeText(const std::optional<TLScreenMetrics>& metrics) {
  if (!metrics) return "0x0";
  return std::to_string(pixels(metrics->heightInPoints, metrics->scaleFactor)) + "x" +
         std::to_string(pixels(metrics->widthInPoints, metrics->scaleFactor));
}

}  // namespace ml::beacon
