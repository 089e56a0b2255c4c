#include "beacon/core/TLSdkRecord.h"

namespace ml::beacon {

namespace {
// `used` keeps the record in the object even though only this file reads it; the section name is
// a C identifier so the linker provides __start_/__stop_ symbols around it.
[[gnu::used, gnu::section("beacon_sdk")]] const TLSdkRecord kRecord = {1, "beacon.macos", "2.3.0", "1"};
}  // namespace

const TLSdkRecord& tlSdkRecord() { return kRecord; }

}  // namespace ml::beacon
