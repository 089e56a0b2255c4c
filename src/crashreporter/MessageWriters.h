#pragma once
// Writers of the crash report's messages. Each takes the output file, or null to only count, and
// returns the number of bytes it writes (or would write). A nested message is written as its tag
// and length followed by its fields; the length comes from running the same writer without a
// file first, so the report is written front to back without seeking and without a heap buffer.
//
// Fields are written in this order (the reader accepts any order):
//   report info 1 2 | system info 1 2 5 3 4 | machine info 1 2 3 4 | application info 1 2 3 |
//   process info 1..7 | thread 1 3 4* 2* | frame 3 6 | register 1 2 | symbol 1 2 |
//   binary image 2 1 3 4 5 | processor 1 2 3 | exception 1 2 3* | signal 1 2 3 4 | Mach 1 2*
//
// All of them are async-signal-safe: no allocation, no locks; buffers live on the stack.
// Diagnostic lines are written only by the run that writes to a file, so the sizing runs do not
// repeat them.
#include <cstddef>
#include <cstdint>

#include "crashreporter/AsyncFile.h"
#include "crashreporter/CrashSources.h"
#include "crashreporter/FieldPacker.h"
#include "crashreporter/LogWriterContext.h"
#include "crashreporter/LogWriterFork.h"
#include "crashreporter/SignalInfo.h"

namespace ml::crash {

// At most this many frames are written per thread and per exception.
inline constexpr uint32_t kMaxFramesPerStack = 512;

// Values of the report's enumerations that the writer uses.
inline constexpr uint32_t kOperatingSystemLinux = 5;
inline constexpr uint32_t kArchitectureX86_64 = 1;
inline constexpr uint32_t kTypeEncodingMach = 1;

// Writes `field` as a nested message whose content `body(file)` writes; returns the whole
// field's size. The body runs once without a file to learn the length, and once more with it.
template <typename Body>
size_t tlcrash_writer_pack_message(tlcrash_async_file* file, uint32_t field, Body&& body) {
  auto length = static_cast<uint32_t>(body(static_cast<tlcrash_async_file*>(nullptr)));
  size_t header = tlcrash_writer_pack(file, field, TLCRASH_TYPE_MESSAGE, &length);
  if (file != nullptr) body(file);
  return header + length;
}

// The report and process facts carry `identity` where they name the process (LogWriterFork.h).
size_t tlcrash_writer_write_report_info(tlcrash_async_file* file, const tlcrash_log_writer* writer,
                                        const tlcrash_process_identity& identity);
size_t tlcrash_writer_write_system_info(tlcrash_async_file* file, const tlcrash_log_writer* writer, int64_t timestamp);
size_t tlcrash_writer_write_machine_info(tlcrash_async_file* file, const tlcrash_log_writer* writer);
size_t tlcrash_writer_write_app_info(tlcrash_async_file* file, const tlcrash_log_writer* writer);
size_t tlcrash_writer_write_process_info(tlcrash_async_file* file, const tlcrash_log_writer* writer,
                                         const tlcrash_process_identity& identity);
size_t tlcrash_writer_write_processor_info(tlcrash_async_file* file, uint64_t type, uint64_t subtype);

// One thread: its number, whether it crashed, the registers of its innermost frame when it is
// the crashed thread, then at most `frame_limit` (<= 512) frames, innermost first.
size_t tlcrash_writer_write_thread(tlcrash_async_file* file, const tlcrash_log_writer* writer, ThreadSource& threads,
                                   SymbolSource* symbols, uint32_t thread, uint32_t thread_number, uint32_t frame_limit);
// One frame: its pc, and its symbol when the writer's strategy is not 0 and `symbols` finds one.
// `return_address` says the pc is where a call returns to (every frame but a thread's innermost):
// the frame is executing the call before it, so its symbol is looked up at pc - 1, which keeps a
// call that never returns, placed last in its function, from being named after the next one.
size_t tlcrash_writer_write_thread_frame(tlcrash_async_file* file, const tlcrash_log_writer* writer,
                                         SymbolSource* symbols, uint64_t pc, bool return_address);
size_t tlcrash_writer_write_symbol(tlcrash_async_file* file, const tlcrash_symbol& symbol);
size_t tlcrash_writer_write_binary_image(tlcrash_async_file* file, const tlcrash_binary_image& image);
// The recorded uncaught exception with at most `frame_limit` (<= 512) of its return addresses.
size_t tlcrash_writer_write_exception(tlcrash_async_file* file, const tlcrash_log_writer* writer, SymbolSource* symbols,
                                      uint32_t frame_limit);
size_t tlcrash_writer_write_signal(tlcrash_async_file* file, const tlcrash_log_signal_info* siginfo);
size_t tlcrash_writer_write_mach_signal(tlcrash_async_file* file, const tlcrash_log_mach_signal_info* mach);

}  // namespace ml::crash
