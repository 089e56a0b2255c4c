#pragma once
// What the capture paths tell the writer about the signal behind a crash.
#include <cstdint>

namespace ml::crash {

struct tlcrash_log_bsd_signal_info {
  int32_t signo;
  int32_t code;       // si_code
  uint64_t address;   // fault address
};

// The Mach exception that was mapped to the signal; only the exception path fills it.
struct tlcrash_log_mach_signal_info {
  int32_t type;
  const int64_t* code;
  uint32_t code_count;
};

struct tlcrash_log_signal_info {
  const tlcrash_log_bsd_signal_info* bsd_info;    // required
  const tlcrash_log_mach_signal_info* mach_info;  // null on the signal path
};

}  // namespace ml::crash
