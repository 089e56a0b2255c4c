#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ElfFixture.h"
#include "MachOFixture.h"
#include "crashreporter/image/ImageList.h"
#include "crashreporter/image/ImageListSource.h"
#include "crashreporter/image/LoadedImages.h"

namespace ml::crash {
namespace {

using test::ElfFixture;
using test::MachOFixture;

class ImageListTest : public testing::Test {
 protected:
  ImageListTest() { tlcrash_nasync_image_list_init(&list, tlcrash_async_task_self()); }
  ~ImageListTest() override { tlcrash_nasync_image_list_free(&list); }

  std::vector<uint64_t> headers() {
    std::vector<uint64_t> out;
    tlcrash_async_image_list_set_reading(&list, true);
    for (auto* image = tlcrash_async_image_list_next(&list, nullptr); image != nullptr;
         image = tlcrash_async_image_list_next(&list, image)) {
      out.push_back(tlcrash_async_image_header_address(image));
    }
    tlcrash_async_image_list_set_reading(&list, false);
    return out;
  }

  bool listed(uint64_t header) {
    auto all = headers();
    return std::find(all.begin(), all.end(), header) != all.end();
  }

  tlcrash_async_image_list list;
};

TEST_F(ImageListTest, AppendsImagesOfEitherFormatInOrder) {
  MachOFixture dylib("libfixture.dylib");
  ElfFixture elf;
  ASSERT_EQ(tlcrash_nasync_image_list_append(&list, dylib.header(), dylib.path().c_str()), TLCRASH_ESUCCESS);
  ASSERT_EQ(tlcrash_nasync_image_list_append(&list, elf.header(), ElfFixture::path().c_str()), TLCRASH_ESUCCESS);
  EXPECT_EQ(headers(), (std::vector<uint64_t>{dylib.header(), elf.header()}));

  tlcrash_async_image_list_set_reading(&list, true);
  auto* first = tlcrash_async_image_list_next(&list, nullptr);
  auto* second = tlcrash_async_image_list_next(&list, first);
  EXPECT_EQ(first->format, tlcrash_image_format::kMachO);
  EXPECT_EQ(second->format, tlcrash_image_format::kElf);
  EXPECT_STREQ(tlcrash_async_image_name(second), ElfFixture::path().c_str());
  EXPECT_TRUE(second->elf_file_symbols.available);
  EXPECT_EQ(tlcrash_async_image_containing_address(&list, dylib.at(0x390)), first);
  EXPECT_EQ(tlcrash_async_image_containing_address(&list, elf.function("crashimage_fixture_first")), second);
  EXPECT_EQ(tlcrash_async_image_containing_address(&list, dylib.at(0x2000)), nullptr);  // data, not code
  tlcrash_async_image_list_set_reading(&list, false);
}

TEST_F(ImageListTest, ImageThatCannotBeParsedIsDropped) {
  std::vector<uint8_t> junk(64, 0x5A);
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_nasync_image_list_append(&list, reinterpret_cast<uint64_t>(junk.data()), "junk"), TLCRASH_EINVAL);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Unexpected failure initializing Mach-O structure for junk: 5"),
            std::string::npos);
  EXPECT_TRUE(headers().empty());
}

TEST_F(ImageListTest, RemovingAnUnknownHeaderChangesNothing) {
  MachOFixture dylib("libfixture.dylib");
  ASSERT_EQ(tlcrash_nasync_image_list_append(&list, dylib.header(), "a"), TLCRASH_ESUCCESS);
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_nasync_image_list_remove(&list, 12345), TLCRASH_ENOTFOUND);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Can't find header addr=12345 in Mach-O image list."),
            std::string::npos);
  EXPECT_EQ(headers(), (std::vector<uint64_t>{dylib.header()}));
}

TEST_F(ImageListTest, RemovedRecordStaysValidForAReaderAndIsReusedAfterwards) {
  MachOFixture a("libfixture.dylib"), b("fixture_exe"), c("libobjcfixture.dylib");
  ASSERT_EQ(tlcrash_nasync_image_list_append(&list, a.header(), "a"), TLCRASH_ESUCCESS);
  ASSERT_EQ(tlcrash_nasync_image_list_append(&list, b.header(), "b"), TLCRASH_ESUCCESS);

  tlcrash_async_image_list_set_reading(&list, true);
  auto* held = tlcrash_async_image_list_next(&list, tlcrash_async_image_list_next(&list, nullptr));
  ASSERT_EQ(tlcrash_nasync_image_list_remove(&list, b.header()), TLCRASH_ESUCCESS);
  ASSERT_EQ(tlcrash_nasync_image_list_append(&list, c.header(), "c"), TLCRASH_ESUCCESS);
  EXPECT_EQ(held->macho.name, "b");  // untouched while the reader is in
  tlcrash_async_image_list_set_reading(&list, false);

  ASSERT_EQ(tlcrash_nasync_image_list_append(&list, b.header(), "b again"), TLCRASH_ESUCCESS);
  EXPECT_EQ(held->macho.name, "b again");  // the removed record was reused
  EXPECT_EQ(headers(), (std::vector<uint64_t>{a.header(), c.header(), b.header()}));
}

TEST_F(ImageListTest, SyncFollowsTheLoader) {
  tlcrash_nasync_image_list_sync_loaded(&list);
  const size_t before = headers().size();
  EXPECT_GT(before, 2u);
  EXPECT_EQ(tlcrash_nasync_image_list_sync_loaded(&list), 0);  // nothing changed

  uint64_t header;
  {
    ElfFixture elf;
    header = elf.header();
    EXPECT_EQ(tlcrash_nasync_image_list_sync_loaded(&list), 1);
    EXPECT_TRUE(listed(header));
  }
  EXPECT_EQ(tlcrash_nasync_image_list_sync_loaded(&list), 1);
  EXPECT_FALSE(listed(header));
  EXPECT_EQ(headers().size(), before);
}

TEST_F(ImageListTest, MainProgramIsNamedByItsPath) {
  tlcrash_nasync_image_list_sync_loaded(&list);
  tlcrash_async_image_list_set_reading(&list, true);
  auto* self = tlcrash_async_image_containing_address(&list, reinterpret_cast<uint64_t>(&tlcrash_async_task_self));
  ASSERT_NE(self, nullptr);
  EXPECT_NE(std::string(tlcrash_async_image_name(self)).find("ml_crashimage_tests"), std::string::npos);
  uint8_t uuid[16];
  EXPECT_TRUE(tlcrash_async_image_uuid(self, uuid));
  tlcrash_async_image_list_set_reading(&list, false);
}

std::vector<std::string> sourceNames(ImageSource& source) {
  std::vector<std::string> names;
  source.beginReading();
  source.rewind();
  tlcrash_binary_image image;
  while (source.next(&image)) names.push_back(image.name);
  source.endReading();
  return names;
}

TEST_F(ImageListTest, SourceReportsRecordsWithTheirFacts) {
  MachOFixture dylib("libfixture.dylib");
  ASSERT_EQ(tlcrash_nasync_image_list_append(&list, dylib.header(), "lib.dylib"), TLCRASH_ESUCCESS);
  ImageListSource source(&list, false);
  source.beginReading();
  EXPECT_EQ(list.list.readerCount(), 1);
  source.rewind();
  tlcrash_binary_image image;
  ASSERT_TRUE(source.next(&image));
  EXPECT_EQ(image.base_address, dylib.header());
  EXPECT_EQ(image.size, 0x2000u);
  EXPECT_STREQ(image.name, "lib.dylib");
  EXPECT_NE(image.uuid, nullptr);
  EXPECT_EQ(image.cpu_type, 0x01000007u);
  EXPECT_FALSE(source.next(&image));
  source.rewind();  // the writer walks the list again for the second pass
  EXPECT_TRUE(source.next(&image));
  source.endReading();
  EXPECT_EQ(list.list.readerCount(), 0);
}

TEST_F(ImageListTest, SourceAddsImagesLoadedSinceTheLastSync) {
  tlcrash_nasync_image_list_sync_loaded(&list);
  ImageListSource source(&list);
  const size_t synced = sourceNames(source).size();
  EXPECT_EQ(synced, headers().size());  // nothing unlisted

  ElfFixture elf;
  std::vector<std::string> names = sourceNames(source);
  ASSERT_EQ(names.size(), synced + 1);
  EXPECT_EQ(names.back(), ElfFixture::path());
}

}  // namespace
}  // namespace ml::crash

namespace ml::crash {
namespace {

TEST(SharedImageList, StartListsThisProcessAndLaterStartsOnlySync) {
  tlcrash_nasync_shared_image_list_start();
  tlcrash_async_image_list* shared = tlcrash_shared_image_list();
  EXPECT_EQ(shared->task, tlcrash_async_task_self());
  tlcrash_async_image_list_set_reading(shared, true);
  EXPECT_NE(tlcrash_async_image_containing_address(shared, reinterpret_cast<uint64_t>(&tlcrash_shared_image_list)),
            nullptr);
  tlcrash_async_image_list_set_reading(shared, false);
  tlcrash_nasync_shared_image_list_start();
  EXPECT_EQ(shared->list.readerCount(), 0);
}

}  // namespace
}  // namespace ml::crash
