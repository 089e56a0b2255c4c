#include "crashreporter/capture/platform/UncaughtExceptionHandler.h"

#include <atomic>

namespace ml::crash {
namespace {
std::atomic<TLUncaughtExceptionHandler> g_handler{nullptr};
}  // namespace

void tl_set_uncaught_exception_handler(TLUncaughtExceptionHandler handler) { g_handler.store(handler); }

TLUncaughtExceptionHandler tl_get_uncaught_exception_handler() { return g_handler.load(); }

}  // namespace ml::crash
