#pragma once
// Status codes of every crash-time operation of the crash reporter, and their texts.
#include <cstdint>

namespace ml::crash {

enum tlcrash_error_t : int32_t {
  TLCRASH_ESUCCESS = 0,         // "No error"
  TLCRASH_EUNKNOWN = 1,         // "Unknown error"
  TLCRASH_OUTPUT_ERR = 2,       // "Output file can not be opened (or written to)"
  TLCRASH_ENOMEM = 3,           // "No memory available"
  TLCRASH_ENOTSUP = 4,          // "Operation not supported"
  TLCRASH_EINVAL = 5,           // "Invalid argument"
  TLCRASH_EINTERNAL = 6,        // "Internal error"
  TLCRASH_EACCESS = 7,          // "Access denied"
  TLCRASH_ENOTFOUND = 8,        // "Not found"
  TLCRASH_EINVALID_DATA = 9,    // "The input data is in an unknown or invalid format."
};

// Text of a status code; "Unhandled error code" for any other value. The text is static.
// Async-signal-safe: no allocation, no locks.
const char* tlcrash_async_strerror(int32_t error);

}  // namespace ml::crash
