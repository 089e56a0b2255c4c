// Feeds arbitrary bytes to the compact unwind reader as an __unwind_info section: the two-level
// lookup, the decoding of the encoding found and its application to a frame. Every input must
// end in a status, never a crash, a hang or undefined behaviour.
//
// Input: one byte choosing the CPU type (x86-64, x86, arm64), 4 bytes of pc (relative to the
// image header), then the section.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "FuzzFrame.h"
#include "crashreporter/unwind/CompactUnwindEntry.h"
#include "crashreporter/unwind/CompactUnwindReader.h"
#include "crashreporter/unwind/LocalMemoryWindow.h"

using namespace ml::crash;

namespace {
// Stands in for the image's code, where an indirect stack size is read.
uint8_t g_code[4096];
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  static constexpr uint32_t kCpus[] = {kTLCrashCpuTypeX86_64, kTLCrashCpuTypeX86, kTLCrashCpuTypeArm64};
  const uint32_t cpu = kCpus[data[0] % 3];
  uint32_t pc;
  std::memcpy(&pc, data + 1, sizeof(pc));
  LocalMemoryWindow section(data + 5, 0x40000, size - 5);

  tlcrash_async_cfe_reader_t<LocalMemoryWindow> reader;
  if (tlcrash_async_cfe_reader_init(&reader, &section, cpu) != TLCRASH_ESUCCESS) return 0;
  uint64_t function;
  uint32_t encoding;
  if (tlcrash_async_cfe_reader_find_pc(&reader, pc, &function, &encoding) != TLCRASH_ESUCCESS) return 0;
  tlcrash_async_cfe_entry_t entry;
  if (tlcrash_async_cfe_entry_init(&entry, cpu, encoding) != TLCRASH_ESUCCESS) return 0;
  uint32_t registers[kTLCrashCfeMaxRegisters];
  tlcrash_async_cfe_entry_register_list(&entry, registers);
  tlcrash_async_thread_state_t current = fuzz::fuzzFrame();
  tlcrash_async_thread_state_t next;
  tlcrash_async_cfe_entry_apply(tlcrash_async_task_self(), reinterpret_cast<uint64_t>(g_code) + (function % 2048), &current, &entry, &next);
  return 0;
}
