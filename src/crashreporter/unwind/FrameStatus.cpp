#include "crashreporter/unwind/FrameStatus.h"

namespace ml::crash {

// Crash time.
const char* tlframe_strerror(int32_t error) {
  switch (error) {
    case TLFRAME_ESUCCESS: return "No error";
    case TLFRAME_EUNKNOWN: return "Unknown error";
    case TLFRAME_ENOFRAME: return "No frames are available";
    case TLFRAME_EBADFRAME: return "Corrupted frame";
    case TLFRAME_ENOTSUP: return "Operation not supported";
    case TLFRAME_EINVAL: return "Invalid argument";
    case TLFRAME_INTERNAL: return "Internal error";
    case TLFRAME_EBADREG: return "Invalid register";
    default: return "Unhandled error code";
  }
}

}  // namespace ml::crash
