#include "crashreporter/capture/CrashHandlerContext.h"

#include "crashreporter/NeverDestroyed.h"

namespace ml::crash {
namespace {
// Namespace scope: constructed before main, so the crash path never runs a guarded initialiser.
// Never destroyed: the writer context's strings are read by a crash during exit too.
NeverDestroyed<tlcrash_signal_handler_context> g_handler_context;
}  // namespace

tlcrash_signal_handler_context* tlcrash_shared_handler_context() { return g_handler_context.get(); }

}  // namespace ml::crash
