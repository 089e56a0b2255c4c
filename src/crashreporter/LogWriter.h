#pragma once
// Writes one crash report file: the 8-byte header ("tlcrash", version 1) and the report message,
// through the buffered output file.
//
// The report stays decodable whatever the output limit: every top-level field is written only
// when it fits whole, so no length in the file ever promises more bytes than follow it. Room is
// kept first for the signal, the binary images and the uncaught exception; the threads get what
// is left: the crashed thread first with as many frames as fit, then the other threads with a
// common frame cap, and when even frameless threads do not all fit, the later ones are left out.
// Thread numbers count the threads actually written.
//
// Crash time: async-signal-safe (no allocation, no locks); the thread, image and symbol sources
// must be too (see CrashSources.h).
#include "crashreporter/AsyncError.h"
#include "crashreporter/AsyncFile.h"
#include "crashreporter/CrashSources.h"
#include "crashreporter/LogWriterContext.h"
#include "crashreporter/LogWriterFork.h"
#include "crashreporter/SignalInfo.h"

namespace ml::crash {

inline constexpr char kReportMagic[] = {'t', 'l', 'c', 'r', 'a', 's', 'h'};
inline constexpr uint8_t kReportVersion = 1;
// The output limit the crash path sets for a report file.
inline constexpr uint64_t kReportOutputLimit = 256 * 1024;

// Returns 0 when the whole report (possibly trimmed to the limit) went to the file;
// TLCRASH_OUTPUT_ERR when a write to the file failed or the limit left no room for the parts a
// report must have (header, signal). Flushing and closing the file is the caller's. The report
// names the process by `identity`, or, when it is null, by the identity the context describes.
tlcrash_error_t tlcrash_log_writer_write(const tlcrash_log_writer* writer, ThreadSource& threads, ImageSource& images,
                                         SymbolSource* symbols, tlcrash_async_file* file,
                                         const tlcrash_log_signal_info* siginfo,
                                         const tlcrash_process_identity* identity = nullptr);

}  // namespace ml::crash
