#pragma once
// Status codes of the frame cursor and its frame readers.
#include <cstdint>

namespace ml::crash {

enum tlframe_error_t : int32_t {
  TLFRAME_ESUCCESS = 0,  // "No error"
  TLFRAME_EUNKNOWN = 1,  // "Unknown error"
  TLFRAME_ENOFRAME = 2,  // "No frames are available": the walk has reached its end
  TLFRAME_EBADFRAME = 3, // "Corrupted frame"
  TLFRAME_ENOTSUP = 4,   // "Operation not supported"
  TLFRAME_EINVAL = 5,    // "Invalid argument"
  TLFRAME_INTERNAL = 6,  // "Internal error"
  TLFRAME_EBADREG = 7,   // "Invalid register"
};

// Text of a frame status; "Unhandled error code" for any other value. Static text.
// Async-signal-safe.
const char* tlframe_strerror(int32_t error);

}  // namespace ml::crash
