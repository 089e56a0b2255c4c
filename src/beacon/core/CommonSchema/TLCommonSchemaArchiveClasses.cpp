#include "beacon/core/CommonSchema/TLCommonSchemaArchiveClasses.h"

#include <mutex>

#include "beacon/core/CommonSchema/TLCommonSchemaLog.h"
#include "beacon/core/TLArchiveClasses.h"

namespace ml::beacon {

void registerCommonSchemaArchiveClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    TLArchiveClasses::add<TLCommonSchemaLog>();
    TLArchiveClasses::add<TLCSExtensions>();
    TLArchiveClasses::add<TLCSData>();
    TLArchiveClasses::add<TLMetadataExtension>();
    TLArchiveClasses::add<TLProtocolExtension>();
    TLArchiveClasses::add<TLUserExtension>();
    TLArchiveClasses::add<TLDeviceExtension>();
    TLArchiveClasses::add<TLOSExtension>();
    TLArchiveClasses::add<TLAppExtension>();
    TLArchiveClasses::add<TLNetExtension>();
    TLArchiveClasses::add<TLSDKExtension>();
    TLArchiveClasses::add<TLLocExtension>();
  });
}

}  // namespace ml::beacon
