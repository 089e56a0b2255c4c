// Feeds arbitrary bytes to the crash report reader: every input must end in a report or an error,
// never a crash, a leak or undefined behaviour. A decoded report is walked whole so every value
// the reader built is touched.
#include <cstddef>
#include <cstdint>
#include <span>

#include "crashreporter/CrashReport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto result = ml::crash::TLCrashReport::initWithData(std::span<const uint8_t>(data, size));
  if (!result.ok()) return 0;
  const auto& report = result.value();
  size_t sink = report.systemInfo().operatingSystemVersion().size() + report.applicationInfo().applicationIdentifier().size() +
                report.signalInfo().name().size();
  for (const auto& thread : report.threads()) {
    for (const auto& frame : thread.stackFrames()) {
      if (report.imageForAddress(frame.instructionPointer()) != nullptr) ++sink;
      if (frame.symbolInfo()) sink += frame.symbolInfo()->symbolName().size();
    }
    for (const auto& reg : thread.registers()) sink += reg.registerName().size();
  }
  for (const auto& image : report.images()) sink += image.imageName().size() + (image.hasImageUUID() ? 1 : 0);
  if (report.hasExceptionInfo() && report.exceptionInfo()->stackFrames()) sink += report.exceptionInfo()->stackFrames()->size();
  if (report.machExceptionInfo()) sink += report.machExceptionInfo()->codes().size();
  asm volatile("" : : "r"(sink) : "memory");  // keeps the reads above from being optimised away
  return 0;
}
