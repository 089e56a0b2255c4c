#include "crashreporter/AsyncError.h"

namespace ml::crash {

// Crash time.
const char* tlcrash_async_strerror(int32_t error) {
  switch (error) {
    case TLCRASH_ESUCCESS: return "No error";
    case TLCRASH_EUNKNOWN: return "Unknown error";
    case TLCRASH_OUTPUT_ERR: return "Output file can not be opened (or written to)";
    case TLCRASH_ENOMEM: return "No memory available";
    case TLCRASH_ENOTSUP: return "Operation not supported";
    case TLCRASH_EINVAL: return "Invalid argument";
    case TLCRASH_EINTERNAL: return "Internal error";
    case TLCRASH_EACCESS: return "Access denied";
    case TLCRASH_ENOTFOUND: return "Not found";
    case TLCRASH_EINVALID_DATA: return "The input data is in an unknown or invalid format.";
  }
  return "Unhandled error code";
}

}  // namespace ml::crash
