#include "crashreporter/capture/CrashHandlerContext.h"

namespace ml::crash {
namespace {
// Namespace scope: constructed before main, so the crash path never runs a guarded initialiser.
tlcrash_signal_handler_context g_handler_context;
}  // namespace

tlcrash_signal_handler_context* tlcrash_shared_handler_context() { return &g_handler_context; }

}  // namespace ml::crash
