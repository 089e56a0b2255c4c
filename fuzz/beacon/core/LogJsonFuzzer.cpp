// JSON text from outside (HTTP answers and bodies printed for diagnostics) goes through the
// telemetry JSON parser and the pretty-printer; neither may crash or recurse without bound, and a
// parsed document must read back equal from what the writer makes of it.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "beacon/core/TLJson.h"
#include "beacon/core/TLUtility.h"

namespace {
bool hasOnlyWellFormedStrings(const ml::beacon::TLJsonValue& value) {
  try {
    (void)value.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
    return true;
  } catch (const nlohmann::json::exception&) {
    return false;
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ml::beacon;
  if (!TLUtility::prettyPrintJson(std::span(data, size))) std::abort();
  auto parsed = TLJson::parse(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!parsed) return 0;
  for (bool pretty : {false, true}) {
    auto dumped = TLJson::dump(*parsed, pretty);
    if (!dumped) std::abort();
    auto reparsed = TLJson::parse(*dumped);
    if (!reparsed) std::abort();
    // Malformed UTF-8 is replaced when written; everything else must survive unchanged.
    if (hasOnlyWellFormedStrings(*parsed) && *reparsed != *parsed) std::abort();
  }
  return 0;
}
