#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ucontext.h>
#include <vector>

#include "ElfFixture.h"
#include "MachOFixture.h"
#include "crashreporter/image/ImageListUnwindLookup.h"
#include "crashreporter/image/LoadedImages.h"
#include "crashreporter/unwind/FrameCursor.h"

namespace ml::crash {
namespace {

using test::ElfFixture;
using test::MachOFixture;

class ImageListUnwindLookupTest : public testing::Test {
 protected:
  ImageListUnwindLookupTest() { tlcrash_nasync_image_list_init(&list, tlcrash_async_task_self()); }
  ~ImageListUnwindLookupTest() override { tlcrash_nasync_image_list_free(&list); }
  tlcrash_async_image_list list;
};

TEST_F(ImageListUnwindLookupTest, MachOImagesGiveTheirUnwindSections) {
  MachOFixture dylib("libfixture.dylib");
  ASSERT_EQ(tlcrash_nasync_image_list_append(&list, dylib.header(), "lib"), TLCRASH_ESUCCESS);
  ImageListUnwindLookup lookup(&list, false);
  UnwindImageReading reading(&lookup);
  tlcrash_unwind_image_t image;
  ASSERT_TRUE(lookup.imageContaining(dylib.at(0x394), &image));
  EXPECT_EQ(image.header_address, dylib.header());
  EXPECT_STREQ(image.name, "lib");
  EXPECT_TRUE(image.is_64bit);
  EXPECT_EQ(image.cpu_type, 0x01000007u);
  ASSERT_TRUE(image.compact_unwind.present());
  EXPECT_EQ(*reinterpret_cast<const uint32_t*>(image.compact_unwind.address), 1u);  // version
  EXPECT_TRUE(image.eh_frame.present());
  EXPECT_FALSE(image.eh_frame_hdr.present());
  EXPECT_FALSE(image.debug_frame.present());
  EXPECT_FALSE(lookup.imageContaining(dylib.at(0x2000), &image));
}

TEST_F(ImageListUnwindLookupTest, ElfImagesGiveTheirSearchTable) {
  tlcrash_nasync_image_list_sync_loaded(&list);
  ElfFixture elf;  // loaded after the sync
  ImageListUnwindLookup lookup(&list);
  lookup.beginReading();
  tlcrash_unwind_image_t image;
  ASSERT_TRUE(lookup.imageContaining(elf.function("crashimage_fixture_first"), &image));
  EXPECT_EQ(image.header_address, elf.header());
  EXPECT_STREQ(image.name, ElfFixture::path().c_str());
  EXPECT_TRUE(image.eh_frame_hdr.present());
  EXPECT_FALSE(image.compact_unwind.present());
  lookup.endReading();
  EXPECT_EQ(list.list.readerCount(), 0);
}

struct Walk {
  ImageListUnwindLookup* lookup;
  uint64_t return_addresses[2] = {};
  std::vector<uint64_t> pcs;
  tlframe_error_t end = TLFRAME_EUNKNOWN;
};

const tlframe_cursor_frame_reader_t kDwarfOnly[] = {tlframe_cursor_read_dwarf_unwind};

__attribute__((noinline)) void walkHere(Walk* walk) {
  walk->return_addresses[0] = reinterpret_cast<uint64_t>(__builtin_return_address(0));
  ucontext_t context;
  ::getcontext(&context);
  tlcrash_async_thread_state_t state;
  tlcrash_async_thread_state_mcontext_init(&state, &context.uc_mcontext);
  tlframe_cursor_t cursor;
  tlframe_cursor_init(&cursor, tlcrash_async_task_self(), &state, walk->lookup);
  tlframe_error_t status;
  while ((status = tlframe_cursor_next_with_readers(&cursor, kDwarfOnly, 1)) == TLFRAME_ESUCCESS && walk->pcs.size() < 64) {
    uint64_t pc = 0;
    tlframe_cursor_get_reg(&cursor, TLCRASH_REG_IP, &pc);
    walk->pcs.push_back(pc);
  }
  walk->end = status;
  tlframe_cursor_free(&cursor);
  asm volatile("" ::: "memory");
}

__attribute__((noinline)) void callsWalk(Walk* walk) {
  walk->return_addresses[1] = reinterpret_cast<uint64_t>(__builtin_return_address(0));
  walkHere(walk);
  asm volatile("" ::: "memory");
}

TEST_F(ImageListUnwindLookupTest, FrameCursorUnwindsThisProcessThroughTheList) {
  tlcrash_nasync_image_list_sync_loaded(&list);
  ImageListUnwindLookup lookup(&list);
  Walk walk{&lookup};
  callsWalk(&walk);
  for (uint64_t expected : walk.return_addresses) {
    EXPECT_NE(std::find(walk.pcs.begin(), walk.pcs.end(), expected), walk.pcs.end())
        << "return address 0x" << std::hex << expected << " not reached";
  }
  EXPECT_GE(walk.pcs.size(), 4u);
  EXPECT_EQ(list.list.readerCount(), 0);
}

}  // namespace
}  // namespace ml::crash
