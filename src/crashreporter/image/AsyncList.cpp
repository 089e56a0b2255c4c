#include "crashreporter/image/AsyncList.h"

#include "crashreporter/AsyncDiagnostic.h"

namespace ml::crash {

// Crash time.
void tlcrash_async_list_writer_fault(const char* message) { TLCRASH_DIAG("%s", message); }

}  // namespace ml::crash
