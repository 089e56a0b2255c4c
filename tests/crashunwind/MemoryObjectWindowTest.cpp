// The unwind parsers over a memory object of the image readers.
#include <gtest/gtest.h>

#include "CfiBuilder.h"
#include "crashreporter/image/MemoryObject.h"
#include "crashreporter/unwind/DwarfFrameReader.h"
#include "crashreporter/unwind/MemoryObjectWindow.h"

namespace ml::crash {
namespace {

TEST(MemoryObjectWindow, FdeSearchReadsAMappedSection) {
  test::CfiBuilder cfi(0);
  size_t cie = cfi.cie(test::CieSpec{});
  cfi.fde(cie, test::FdeSpec{0x1000, 0x20, {}, {}});
  cfi.terminator();
  const auto& bytes = cfi.bytes();
  tlcrash_async_mobject mobj;
  ASSERT_EQ(tlcrash_async_mobject_init(&mobj, tlcrash_async_task_self(), reinterpret_cast<uint64_t>(bytes.data()), bytes.size(), true),
            TLCRASH_ESUCCESS);
  MemoryObjectWindow window(&mobj);
  EXPECT_EQ(window.base_address(), reinterpret_cast<uint64_t>(bytes.data()));
  dwarf_frame_reader<MemoryObjectWindow> reader;
  reader.init(&window, &tlcrash_async_byteorder_direct, true, false);
  tlcrash_async_dwarf_fde_info_t fde;
  ASSERT_EQ(reader.find_fde(0, 0x1010, &fde), TLCRASH_ESUCCESS);
  EXPECT_EQ(fde.pc_start, 0x1000u);
  uint8_t byte;
  EXPECT_EQ(window.read(window.base_address(), static_cast<int64_t>(bytes.size()), &byte, 1), TLCRASH_EINVAL);
  tlcrash_async_mobject_free(&mobj);
}

}  // namespace
}  // namespace ml::crash
