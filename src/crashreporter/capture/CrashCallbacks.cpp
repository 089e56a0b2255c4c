#include "crashreporter/capture/CrashHandlerContext.h"

namespace ml::crash {
namespace {
// Namespace scope and trivially destructible: the crash path never runs a guarded initialiser
// and nothing here is torn down at exit.
tlcrash_crash_callbacks g_crash_callbacks;
}  // namespace

// Crash time.
tlcrash_crash_callbacks* tlcrash_shared_crash_callbacks() { return &g_crash_callbacks; }

}  // namespace ml::crash
