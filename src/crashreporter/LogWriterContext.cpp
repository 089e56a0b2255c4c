#include "crashreporter/LogWriterContext.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/HostInfo.h"
#include "crashreporter/MachineFacts.h"
#include "crashreporter/ProcessInfo.h"

namespace ml::crash {

tlcrash_error_t tlcrash_log_writer_init(tlcrash_log_writer* writer, const std::string& app_identifier,
                                        const std::string& app_version,
                                        const std::optional<std::string>& app_marketing_version,
                                        uint32_t symbol_strategy, bool user_requested) {
  *writer = tlcrash_log_writer{};
  writer->symbol_strategy = symbol_strategy;
  writer->user_requested = user_requested;

  // Reports are told apart by this UUID at the next launch, so it must never be a constant:
  // without the kernel's random source it is made from the clocks and the process id.
  if (auto uuid = makeRandomUuid()) {
    writer->uuid = *uuid;
  } else {
    TLCRASH_DIAG("Could not create the report UUID: %s", std::strerror(errno));
    writer->uuid = makeClockUuid();
  }

  writer->app_identifier = app_identifier;
  writer->app_version = app_version;
  writer->app_marketing_version = app_marketing_version;

  auto process = TLCrashProcessInfo::currentProcessInfo();
  if (!process) {
    TLCRASH_DIAG("Could not retreive process info for target");
    std::atomic_thread_fence(std::memory_order_seq_cst);
    return TLCRASH_EINVAL;
  }
  writer->process_id = static_cast<uint32_t>(process->processID());
  writer->process_name = process->processName();
  writer->start_time = process->startTime().seconds;
  writer->process_path = MachineFacts::executablePath();
  writer->parent_process_id = static_cast<uint32_t>(process->parentProcessID());

  auto parent = TLCrashProcessInfo::forProcessID(process->parentProcessID());
  if (parent && parent->processName()) {
    writer->parent_process_name = parent->processName();
  } else if (!parent) {
    TLCRASH_DIAG("Could not retreive parent process name: %s", std::strerror(errno));
  }

  writer->model = MachineFacts::model();
  if (!writer->model) TLCRASH_DIAG("Could not retrive machine model: %s", std::strerror(errno));
  // This build runs on x86-64 only; the numbers are the Mach ones the report format uses.
  writer->cpu_type = kCpuTypeX86_64;
  writer->cpu_subtype = kCpuSubtypeX86_64All;
  if (auto n = MachineFacts::physicalProcessorCount()) writer->physical_cpu_count = *n;
  else TLCRASH_DIAG("Could not retrive physical processor count: %s", std::strerror(errno));
  if (auto n = MachineFacts::logicalProcessorCount()) writer->logical_cpu_count = *n;
  else TLCRASH_DIAG("Could not retrive logical processor count: %s", std::strerror(errno));

  // No translation layer runs programs of another architecture here.
  writer->native = true;

  writer->os_build = MachineFacts::kernelBuild();
  if (!writer->os_build) TLCRASH_DIAG("Could not retrive kernel build: %s", std::strerror(errno));

  tlcrash_error_t result = TLCRASH_ESUCCESS;
  auto release = MachineFacts::kernelRelease();
  if (!release) {
    TLCRASH_DIAG("Could not retreive kernel version: %s", std::strerror(errno));
    result = TLCRASH_EINTERNAL;
  } else {
    auto version = TLCrashHostInfo::fromRelease(*release, [](const std::string& line) {
      tlcrash_async_diag(2, "tlcrash_log_writer_init", __LINE__, "%s", line.c_str());
    }).kernelVersion();
    writer->os_version = std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
                         std::to_string(version.revision);
  }

  std::atomic_thread_fence(std::memory_order_seq_cst);
  return result;
}

void tlcrash_log_writer_set_exception(tlcrash_log_writer* writer, const char* name, const char* reason,
                                      std::span<const uint64_t> return_addresses) {
  auto& exception = writer->uncaught_exception;
  if (exception.has_exception) {
    TLCRASH_DIAG("An uncaught exception was already recorded");
    ::abort();
  }
  exception.name = name != nullptr ? name : "";
  exception.reason = reason != nullptr ? reason : "";
  exception.return_addresses.assign(return_addresses.begin(), return_addresses.end());
  // Set last: the crash path reads the strings only once it sees the flag.
  std::atomic_thread_fence(std::memory_order_seq_cst);
  exception.has_exception = true;
  std::atomic_thread_fence(std::memory_order_seq_cst);
}

void tlcrash_log_writer_free(tlcrash_log_writer* writer) { *writer = tlcrash_log_writer{}; }

}  // namespace ml::crash
