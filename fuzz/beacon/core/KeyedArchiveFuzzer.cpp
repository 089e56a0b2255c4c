// Stored logs come back from the log database and the settings file as keyed archives; any bytes
// there must decode into a known model or fail cleanly. A decoded object must archive again, and
// that archive must be a fixed point: decoding and archiving it once more gives the same property
// list (compared as values, since the writer's object order may vary, with NaN equal to itself).
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLLogger.h"
#include "platform/foundation/PropertyList.h"

namespace {

using ml::foundation::PlistValue;

bool same(const PlistValue& a, const PlistValue& b) {
  if (a.kind() != b.kind()) return false;
  if (a.kind() == PlistValue::Kind::real) {
    double x = *a.real(), y = *b.real();
    return x == y || (std::isnan(x) && std::isnan(y));
  }
  if (const auto* items = a.array()) {
    const auto* other = b.array();
    if (items->size() != other->size()) return false;
    for (std::size_t i = 0; i < items->size(); ++i) {
      if (!same((*items)[i], (*other)[i])) return false;
    }
    return true;
  }
  if (const auto* entries = a.dictionary()) {
    const auto* other = b.dictionary();
    if (entries->size() != other->size()) return false;
    for (auto i = entries->begin(), j = other->begin(); i != entries->end(); ++i, ++j) {
      if (i->first != j->first || !same(i->second, j->second)) return false;
    }
    return true;
  }
  return a == b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ml::beacon;
  static const bool quiet = [] {
    TLLogger::setCurrentLogLevel(TLLogLevel::none);
    return true;
  }();
  (void)quiet;
  auto object = TLKeyedUnarchiver::unarchivedObject({data, size});
  if (!object) return 0;
  (void)(*object)->serializeToDictionary();
  (void)(*object)->isValid();
  auto again = TLKeyedArchiver::archivedData(**object);
  if (!again) return 0;  // e.g. a date the property-list writer cannot hold
  auto decoded = TLKeyedUnarchiver::unarchivedObject(*again);
  if (!decoded) std::abort();
  auto third = TLKeyedArchiver::archivedData(**decoded);
  if (!third) std::abort();
  auto first = ml::foundation::PropertyList::parse(*again);
  auto second = ml::foundation::PropertyList::parse(*third);
  if (!first || !second || !same(*first, *second)) std::abort();
  return 0;
}
