// The frame readers over the process image list: the live stack of this process through the
// shared list, and a clang-built Mach-O image appended to a list of its own.
#include <gtest/gtest.h>

#include <ucontext.h>

#include "crashreporter/image/ImageList.h"
#include "crashreporter/image/LoadedImages.h"
#include "crashreporter/unwind/CompactUnwindReader.h"
#include "crashreporter/unwind/CpuType.h"
#include "crashreporter/unwind/FrameCursor.h"
#include "crashreporter/unwind/ImageListUnwindLookup.h"
#include "fixtures/CompactUnwindFixture.h"

namespace ml::crash {
namespace {

namespace fx = test::compact_fixture;

__attribute__((noinline)) uint32_t walkHere(UnwindImageLookup* images, uint64_t* caller_pc, uint64_t pcs[], uint32_t capacity) {
  *caller_pc = reinterpret_cast<uint64_t>(__builtin_return_address(0));
  ucontext_t context;
  ::getcontext(&context);
  tlcrash_async_thread_state_t state;
  tlcrash_async_thread_state_mcontext_init(&state, &context.uc_mcontext);
  tlframe_cursor_t cursor;
  tlframe_cursor_init(&cursor, tlcrash_async_task_self(), &state, images);
  uint32_t frames = 0;
  while (frames < capacity && tlframe_cursor_next(&cursor) == TLFRAME_ESUCCESS) {
    tlframe_cursor_get_reg(&cursor, TLCRASH_REG_IP, &pcs[frames++]);
  }
  tlframe_cursor_free(&cursor);
  asm volatile("" ::: "memory");
  return frames;
}

TEST(ImageListUnwindLookup, WalksThisProcessThroughTheSharedImageList) {
  tlcrash_nasync_shared_image_list_start();
  ImageListUnwindLookup images(tlcrash_shared_image_list());
  uint64_t pcs[64] = {};
  uint64_t caller = 0;
  uint32_t frames = walkHere(&images, &caller, pcs, 64);
  ASSERT_GE(frames, 3u);
  EXPECT_EQ(pcs[1], caller) << "the walk reached this test through the list's ELF images";
  EXPECT_GT(frames, 5u);
}

TEST(ImageListUnwindLookup, ElfImageGivesItsEhFrameHeader) {
  tlcrash_nasync_shared_image_list_start();
  ImageListUnwindLookup images(tlcrash_shared_image_list(), false);
  images.beginReading();
  tlcrash_unwind_image_t image;
  ASSERT_TRUE(images.imageContaining(reinterpret_cast<uint64_t>(&walkHere), &image));
  images.endReading();
  EXPECT_EQ(image.cpu_type, kTLCrashCpuTypeX86_64);
  EXPECT_TRUE(image.is_64bit);
  EXPECT_TRUE(image.eh_frame_hdr.present());
  EXPECT_FALSE(image.compact_unwind.present());
  EXPECT_LE(image.header_address, reinterpret_cast<uint64_t>(&walkHere));
}

TEST(ImageListUnwindLookup, MachOImageGivesItsSectionsFromTheLoadCommands) {
  tlcrash_async_image_list list;
  tlcrash_nasync_image_list_init(&list, tlcrash_async_task_self());
  const auto header = reinterpret_cast<uint64_t>(fx::kImage);
  ASSERT_EQ(tlcrash_nasync_image_list_append(&list, header, "fixture.dylib"), TLCRASH_ESUCCESS);
  ImageListUnwindLookup images(&list, false);
  images.beginReading();
  tlcrash_unwind_image_t image;
  ASSERT_TRUE(images.imageContaining(header + fx::kFramelessFunction, &image));
  EXPECT_STREQ(image.name, "fixture.dylib");
  EXPECT_EQ(image.header_address, header);
  EXPECT_EQ(image.cpu_type, kTLCrashCpuTypeX86_64);
  EXPECT_EQ(image.compact_unwind.address, header + fx::kUnwindInfoOffset);
  EXPECT_EQ(image.compact_unwind.length, fx::kUnwindInfoSize);
  EXPECT_EQ(image.eh_frame.address, header + fx::kEhFrameOffset);
  EXPECT_FALSE(image.debug_frame.present());
  images.endReading();

  // The compact reader finds the function through the list.
  uint64_t stack[8] = {1, 2, 3, 0x1414, 0xB0B0, 0x40CA22, 0, 0};
  tlcrash_async_thread_state_t current, next;
  tlcrash_async_thread_state_init(&current, kTLCrashCpuTypeX86_64);
  tlcrash_async_thread_state_set_reg(&current, TLCRASH_REG_SP, reinterpret_cast<uint64_t>(stack));
  tlcrash_async_thread_state_set_reg(&current, TLCRASH_REG_IP, header + fx::kFramelessFunction + 10);
  ASSERT_EQ(tlframe_cursor_read_compact_unwind(tlcrash_async_task_self(), &images, &current, nullptr, &next), TLFRAME_ESUCCESS);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_REG_IP), 0x40CA22u);
  tlcrash_nasync_image_list_free(&list);
}

}  // namespace
}  // namespace ml::crash
