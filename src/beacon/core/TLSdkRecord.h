#pragma once
// The library record: a fixed 97-byte block in the ELF section "beacon_sdk" of the binary, so that
// tools can read the client's name and version from a binary without running it.
//   byte 0        record version (1)
//   bytes 1-32    library name, NUL-padded
//   bytes 33-64   library version, NUL-padded
//   bytes 65-96   build number, NUL-padded
#include <cstdint>

namespace ml::beacon {

struct TLSdkRecord {
  std::uint8_t recordVersion;
  char name[32];
  char version[32];
  char build[32];
};
static_assert(sizeof(TLSdkRecord) == 97, "the record layout is read by outside tools");

// The record of this build (lives in section "beacon_sdk").
const TLSdkRecord& tlSdkRecord();

}  // namespace ml::beacon
