// Common-schema logs waiting for the Common Collector come back from the log database as keyed
// archives; any bytes there must decode into a common-schema log or fail cleanly. A decoded log
// must write its JSON line, archive again, and read back to the same JSON.
#include <cstdint>
#include <cstdlib>

#include "beacon/core/CommonSchema/TLCommonSchemaArchiveClasses.h"
#include "beacon/core/CommonSchema/TLCommonSchemaLog.h"
#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLLogger.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ml::beacon;
  static const bool ready = [] {
    TLLogger::setCurrentLogLevel(TLLogLevel::none);
    registerCommonSchemaArchiveClasses();
    return true;
  }();
  (void)ready;

  auto decoded = TLKeyedUnarchiver::unarchivedObjectOfClass<TLCommonSchemaLog>(std::span(data, size));
  if (!decoded) return 0;
  const TLCommonSchemaLog& log = **decoded;
  (void)log.isValid();
  TLJsonValue json = log.serializeToDictionary();
  auto line = log.serializeLogWithPrettyPrinting(false);
  if (!line) std::abort();

  auto archived = TLKeyedArchiver::archivedData(log);
  if (!archived) return 0;  // a value the archive format cannot hold again is refused, not lost silently
  auto again = TLKeyedUnarchiver::unarchivedObjectOfClass<TLCommonSchemaLog>(*archived);
  if (!again) std::abort();
  if ((*again)->serializeToDictionary() != json) std::abort();
  return 0;
}
