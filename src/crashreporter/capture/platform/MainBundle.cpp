#include "crashreporter/capture/platform/MainBundle.h"

#include "platform/foundation/AppIdentity.h"

namespace ml::crash {

TLCrashBundle TLCrashBundle::mainBundle() {
  TLCrashBundle bundle;
  bundle.bundleIdentifier = foundation::AppIdentity::identifier();
  // One project version is both the build and the marketing version of this application.
  bundle.bundleVersion = foundation::AppIdentity::version();
  bundle.shortVersionString = foundation::AppIdentity::version();
  return bundle;
}

}  // namespace ml::crash
