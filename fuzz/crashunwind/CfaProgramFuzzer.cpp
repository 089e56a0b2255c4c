// Feeds arbitrary call frame instructions to the CFA program evaluator, as a CIE's initial
// instructions followed by an FDE's, and applies the resulting row to a frame. Every input must
// end in a status, never a crash, a hang or undefined behaviour.
//
// Input: one byte splitting the rest into the CIE's and the FDE's instructions, 4 bytes of pc
// offset, one byte of flags (bit 0: 32-bit machine words), then the instructions.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "FuzzFrame.h"
#include "crashreporter/unwind/DwarfCfaApply.h"
#include "crashreporter/unwind/DwarfCfaProgram.h"
#include "crashreporter/unwind/LocalMemoryWindow.h"

using namespace ml::crash;

namespace {

constexpr uint64_t kBase = 0x20000;
constexpr uint64_t kFunction = 0x401000;
const tlcrash_async_byteorder_t* kLE = &tlcrash_async_byteorder_direct;

template <typename P>
void run(LocalMemoryWindow& window, size_t split, size_t length, uint64_t pc) {
  tlcrash_async_dwarf_cie_info_t cie{};
  cie.code_alignment_factor = 1;
  cie.data_alignment_factor = -8;
  cie.return_address_register = 16;
  cie.has_eh_augmentation = true;
  cie.has_pointer_encoding = true;
  cie.pointer_encoding = DW_EH_PE_pcrel | DW_EH_PE_sdata4;
  gnu_ehptr_reader<P> pointers(kLE);
  dwarf_cfa_state<P> state;
  if (state.eval_program(&window, static_cast<P>(pc), static_cast<P>(kFunction), &cie, &pointers, kLE, kBase, 0, split) != TLCRASH_ESUCCESS) {
    return;
  }
  if (state.eval_program(&window, static_cast<P>(pc), static_cast<P>(kFunction), &cie, &pointers, kLE, kBase,
                         static_cast<int64_t>(split), length - split) != TLCRASH_ESUCCESS) {
    return;
  }
  tlcrash_async_thread_state_t current = fuzz::fuzzFrame();
  tlcrash_async_thread_state_t next;
  state.apply_state(tlcrash_async_task_self(), &window, &cie, &current, kLE, &next);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  uint32_t pc_offset;
  std::memcpy(&pc_offset, data + 1, sizeof(pc_offset));
  const bool m32 = (data[5] & 1) != 0;
  const uint8_t* code = data + 6;
  const size_t length = size - 6;
  const size_t split = length == 0 ? 0 : data[0] % (length + 1);
  LocalMemoryWindow window(code, kBase, length);
  uint64_t pc = pc_offset == 0 ? 0 : kFunction + pc_offset;
  if (m32) run<uint32_t>(window, split, length, pc);
  else run<uint64_t>(window, split, length, pc);
  return 0;
}
