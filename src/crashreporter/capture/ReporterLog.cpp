#include "crashreporter/capture/ReporterLog.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

#include "crashreporter/NeverDestroyed.h"
#include "platform/logging/Log.h"

namespace ml::crash {
namespace {
// Never destroyed: a warning may be logged while exit runs the static destructors.
NeverDestroyed<std::mutex> g_sink_lock;
NeverDestroyed<std::function<void(const std::string&)>> g_sink;
}  // namespace

void tlcrash_nasync_log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string line;
  if (length > 0) {
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    line.assign(buffer.data(), static_cast<size_t>(length));
  }
  va_end(args);

  std::lock_guard<std::mutex> lock(*g_sink_lock);
  if (*g_sink) {
    (*g_sink)(line);
  } else if (logging::Log::warning() != nullptr) {
    LOG_WARNING(line);
  } else {
    line += '\n';
    (void)!::write(STDERR_FILENO, line.data(), line.size());
  }
}

void tlcrash_nasync_log_set_sink(std::function<void(const std::string&)> sink) {
  std::lock_guard<std::mutex> lock(*g_sink_lock);
  *g_sink = std::move(sink);
}

}  // namespace ml::crash
