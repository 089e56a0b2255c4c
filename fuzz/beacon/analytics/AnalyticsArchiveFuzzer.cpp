// Stored analytics logs (events with their typed property bags, pages, start-session logs) come
// back from the log database as keyed archives; any bytes there must decode into a known model
// or fail cleanly. A decoded log must serialise, lay out its common-schema trees and archive again.
#include <cstdint>
#include <cstdlib>

#include "beacon/analytics/Model/TLEventLog.h"
#include "beacon/analytics/TLAnalyticsLogClasses.h"
#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLLogger.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = [] {
    ml::beacon::TLLogger::setLogHandler({});
    ml::beacon::registerAnalyticsArchiveClasses();
    return true;
  }();
  (void)ready;
  auto decoded = ml::beacon::TLKeyedUnarchiver::unarchivedObject({data, size});
  if (!decoded) return 0;
  (void)(*decoded)->serializeToDictionary();
  (void)(*decoded)->isValid();
  if (auto event = std::dynamic_pointer_cast<ml::beacon::TLEventLog>(*decoded)) (void)event->commonSchemaTrees();
  auto again = ml::beacon::TLKeyedArchiver::archivedData(**decoded);
  if (!again) return 0;
  auto second = ml::beacon::TLKeyedUnarchiver::unarchivedObject(*again);
  if (!second || !(*second)->isEqual(**decoded)) std::abort();
  return 0;
}
