// Feeds arbitrary bytes to the DWARF call frame readers as a whole section: the FDE search, the
// CIE and FDE parsers, the CFA program evaluation and its application to a frame. Every input
// must end in a status, never a crash, a hang or undefined behaviour.
//
// Input: one flags byte (bit 0 .debug_frame, bit 1 32-bit machine words, bit 2 search through a
// .eh_frame_hdr that takes the first 64 bytes of the section), 8 bytes of pc, then the section.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "FuzzFrame.h"
#include "crashreporter/unwind/DwarfCfaApply.h"
#include "crashreporter/unwind/DwarfCfaProgram.h"
#include "crashreporter/unwind/DwarfFrameReader.h"
#include "crashreporter/unwind/EhFrameHeader.h"
#include "crashreporter/unwind/LocalMemoryWindow.h"

using namespace ml::crash;

namespace {

constexpr uint64_t kSectionBase = 0x10000;
const tlcrash_async_byteorder_t* kLE = &tlcrash_async_byteorder_direct;

template <typename P>
void unwind(LocalMemoryWindow& section, const tlcrash_async_dwarf_fde_info_t& fde, uint64_t pc) {
  gnu_ehptr_reader<P> pointers(kLE);
  tlcrash_async_dwarf_cie_info_t cie;
  if (tlcrash_async_dwarf_cie_info_init(&cie, section, kLE, &pointers, kSectionBase + fde.cie_offset) != TLCRASH_ESUCCESS) return;
  dwarf_cfa_state<P> state;
  if (state.eval_program(&section, static_cast<P>(pc), static_cast<P>(fde.pc_start), &cie, &pointers, kLE, kSectionBase,
                         static_cast<int64_t>(cie.initial_instructions_offset), cie.initial_instructions_length) != TLCRASH_ESUCCESS) {
    return;
  }
  if (state.eval_program(&section, static_cast<P>(pc), static_cast<P>(fde.pc_start), &cie, &pointers, kLE, kSectionBase,
                         static_cast<int64_t>(fde.instructions_offset), fde.instructions_length) != TLCRASH_ESUCCESS) {
    return;
  }
  tlcrash_async_thread_state_t current = fuzz::fuzzFrame();
  tlcrash_async_thread_state_t next;
  state.apply_state(tlcrash_async_task_self(), &section, &cie, &current, kLE, &next);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 9) return 0;
  const uint8_t flags = data[0];
  uint64_t pc;
  std::memcpy(&pc, data + 1, sizeof(pc));
  const bool debug_frame = (flags & 1) != 0;
  const bool m64 = (flags & 2) == 0;
  LocalMemoryWindow section(data + 9, kSectionBase, size - 9);

  dwarf_frame_reader<LocalMemoryWindow> reader;
  reader.init(&section, kLE, m64, debug_frame);
  tlcrash_async_dwarf_fde_info_t fde;
  tlcrash_error_t found = TLCRASH_ENOTFOUND;
  if ((flags & 4) != 0 && size - 9 > 64) {
    LocalMemoryWindow header(data + 9, kSectionBase, 64);
    eh_frame_hdr_reader<LocalMemoryWindow, uint64_t> table(kLE);
    uint64_t fde_address;
    if (table.init(&header) == TLCRASH_ESUCCESS && table.find_fde_address(pc, &fde_address) == TLCRASH_ESUCCESS) {
      found = reader.fde_for_pc(fde_address, pc, &fde);
    }
  } else {
    found = reader.find_fde(0, pc, &fde);
  }
  if (found != TLCRASH_ESUCCESS) return 0;
  if (m64) unwind<uint64_t>(section, fde, pc);
  else unwind<uint32_t>(section, fde, pc);
  return 0;
}
