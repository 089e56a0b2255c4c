#pragma once
// The crash log writer's context: every fact about the application, the process, the machine and
// the operating system that can be gathered ahead of a crash. It is filled when the reporter is
// enabled (normal context: allocates, reads /proc) and afterwards only read by the crash path,
// which uses the strings in place (c_str) and allocates nothing.
//
// Publication: init and set_exception end with a full memory barrier, so a crash handler that
// runs after them on any thread sees a complete context.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "crashreporter/AsyncError.h"
#include "crashreporter/ReportUuid.h"

namespace ml::crash {

struct tlcrash_log_writer {
  uint32_t symbol_strategy = 0;     // 0: no symbol lookup
  bool user_requested = false;
  ReportUuid uuid{};                // every report of this process carries it
  std::string os_version = "0.0.0"; // "major.minor.revision"; "0.0.0" when unknown
  std::optional<std::string> os_build;
  std::optional<std::string> model;
  int64_t cpu_type = 0;
  int64_t cpu_subtype = 0;
  uint32_t physical_cpu_count = 0;
  uint32_t logical_cpu_count = 0;
  std::string app_identifier;
  std::string app_version;
  std::optional<std::string> app_marketing_version;
  std::optional<std::string> process_name;
  uint32_t process_id = 0;
  std::optional<std::string> process_path;
  int64_t start_time = 0;           // seconds since 1970
  std::optional<std::string> parent_process_name;
  uint32_t parent_process_id = 0;
  // Set in a process forked from the one the context was filled in (LogWriterFork.h): its parent
  // is a process of its own name, and parent_process_name (the name of the filling process's
  // parent) no longer applies.
  bool forked = false;
  bool native = true;

  struct UncaughtException {
    bool has_exception = false;
    std::string name;               // "" when the exception had none
    std::string reason;             // "" when the exception had none
    std::vector<uint64_t> return_addresses;
  } uncaught_exception;
};

// Fills the context for the calling process. Returns 0; TLCRASH_EINVAL when the process's own
// facts cannot be read (only the application fields are then set); TLCRASH_EINTERNAL when the
// kernel version cannot be read (os_version stays "0.0.0"). Either way the context is usable.
// Normal context only: never at crash time.
tlcrash_error_t tlcrash_log_writer_init(tlcrash_log_writer* writer, const std::string& app_identifier,
                                        const std::string& app_version,
                                        const std::optional<std::string>& app_marketing_version,
                                        uint32_t symbol_strategy, bool user_requested);

// Records the uncaught exception that is about to end the process. Called at most once (a second
// call is a programming error and aborts). A missing name or reason is recorded as "".
void tlcrash_log_writer_set_exception(tlcrash_log_writer* writer, const char* name, const char* reason,
                                      std::span<const uint64_t> return_addresses);

// Nothing to do at close; returns 0. Async-signal-safe.
tlcrash_error_t tlcrash_log_writer_close(tlcrash_log_writer* writer);
// Releases everything the context owns and resets it. Normal context only.
void tlcrash_log_writer_free(tlcrash_log_writer* writer);

}  // namespace ml::crash
