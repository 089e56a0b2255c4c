// Feeds arbitrary bytes, as a history entry of the settings store would hold them, to the readers
// of the contexts' histories (session, user id and device records, auth-token entries). Every
// input must give a history or nothing, never a crash, a hang or undefined behaviour; a history
// that decodes is archived again and must decode to an equal one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "beacon/core/Context/TLArchivedArray.h"
#include "beacon/core/Context/TLAuthTokenInfo.h"
#include "beacon/core/Context/TLHistoryInfo.h"
#include "beacon/core/TLArchiveClasses.h"

namespace {

template <class T>
void roundTrip(std::span<const uint8_t> bytes) {
  auto history = ml::beacon::TLArchivedArray::unarchive<T>(bytes);
  if (!history) return;
  auto again = ml::beacon::TLArchivedArray::archive(*history);
  if (!again) return;  // values the archive cannot hold are refused, not mangled
  auto reread = ml::beacon::TLArchivedArray::unarchive<T>(*again);
  if (!reread || reread->size() != history->size()) std::abort();
  for (std::size_t i = 0; i < history->size(); ++i) {
    if (!(*history)[i]->isEqual(*(*reread)[i])) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = [] {
    ml::beacon::TLHistoryInfo::registerArchiveClasses();
    ml::beacon::TLArchiveClasses::add<ml::beacon::TLAuthTokenInfo>();
    return true;
  }();
  (void)registered;
  std::span<const uint8_t> bytes(data, size);
  roundTrip<ml::beacon::TLSessionHistoryInfo>(bytes);
  roundTrip<ml::beacon::TLUserIdHistoryInfo>(bytes);
  roundTrip<ml::beacon::TLDeviceHistoryInfo>(bytes);
  roundTrip<ml::beacon::TLAuthTokenInfo>(bytes);
  return 0;
}
