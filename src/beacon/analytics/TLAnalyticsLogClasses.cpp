#include "beacon/analytics/TLAnalyticsLogClasses.h"

#include "beacon/analytics/Model/TLEventLog.h"
#include "beacon/analytics/Model/TLEventProperties.h"
#include "beacon/analytics/Model/TLPageLog.h"
#include "beacon/analytics/Model/TLStartSessionLog.h"
#include "beacon/core/TLArchiveClasses.h"

namespace ml::beacon {

void registerAnalyticsArchiveClasses() {
  TLArchiveClasses::add<TLEventLog>();
  TLArchiveClasses::add<TLPageLog>();
  TLArchiveClasses::add<TLStartSessionLog>();
  TLArchiveClasses::add<TLEventProperties>();
}

}  // namespace ml::beacon
