// Feeds arbitrary bytes to the DWARF expression evaluator, 64- and 32-bit, with a frame whose
// registers point into a live buffer. Every input must end in a status, never a crash, a hang or
// undefined behaviour.
//
// Input: one byte of flags (bit 0: 32-bit words; bits 1-3: how many initial values), then the
// expression.
#include <cstddef>
#include <cstdint>

#include "FuzzFrame.h"
#include "crashreporter/unwind/DwarfExpression.h"
#include "crashreporter/unwind/LocalMemoryWindow.h"

using namespace ml::crash;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool m32 = (data[0] & 1) != 0;
  const size_t initial_count = (data[0] >> 1) & 7;
  LocalMemoryWindow window(data + 1, 0x30000, size - 1);
  tlcrash_async_thread_state_t frame = fuzz::fuzzFrame();
  const uint64_t sp = tlcrash_async_thread_state_get_reg(&frame, TLCRASH_REG_SP);
  if (m32) {
    uint32_t initial[7] = {1, 2, 3, 4, 5, 6, static_cast<uint32_t>(sp)};
    uint32_t result;
    tlcrash_async_dwarf_expression_eval<uint32_t>(&window, tlcrash_async_task_self(), &frame, &tlcrash_async_byteorder_direct,
                                                  0x30000, 0, size - 1, initial, initial_count, &result);
  } else {
    uint64_t initial[7] = {sp, 1, 2, 3, 4, 5, 6};
    uint64_t result;
    tlcrash_async_dwarf_expression_eval<uint64_t>(&window, tlcrash_async_task_self(), &frame, &tlcrash_async_byteorder_direct,
                                                  0x30000, 0, size - 1, initial, initial_count, &result);
  }
  return 0;
}
