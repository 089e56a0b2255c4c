// Stored crash logs, attachments and wrapper-exception files are keyed archives read back from
// disk. Any bytes must decode to a model or to nothing; a decoded model must serialise, validate
// and compare with itself without crashing.
#include <cstdint>
#include <cstdlib>

#include "beacon/core/TLJson.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLLogger.h"
#include "beacon/crashes/Model/TLCrashesArchiveClasses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    ml::beacon::TLLogger::setCurrentLogLevel(ml::beacon::TLLogLevel::none);
    ml::beacon::registerCrashesArchiveClasses();
    return true;
  }();
  (void)ready;
  auto object = ml::beacon::TLKeyedUnarchiver::unarchivedObject(std::span<const uint8_t>(data, size));
  if (!object) return 0;
  const auto& model = **object;
  (void)ml::beacon::TLJson::dump(model.serializeToDictionary(), false);
  (void)model.isValid();
  if (!model.isEqual(model)) std::abort();
  return 0;
}
