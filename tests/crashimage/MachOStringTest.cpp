#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "MappedBytes.h"
#include "crashreporter/image/MachOString.h"

namespace ml::crash {
namespace {

using test::MappedBytes;
using test::pageSize;

TEST(MachOString, MapsOnFirstUseAndMeasures) {
  const char text[] = "FixtureRoot";
  tlcrash_async_macho_string string;
  tlcrash_async_macho_string_init(&string, tlcrash_async_task_self(), reinterpret_cast<uint64_t>(text));
  EXPECT_FALSE(string.mapped);
  uint64_t length = 0;
  const char* pointer = nullptr;
  ASSERT_EQ(tlcrash_async_macho_string_get_length(&string, &length), TLCRASH_ESUCCESS);
  ASSERT_EQ(tlcrash_async_macho_string_get_pointer(&string, &pointer), TLCRASH_ESUCCESS);
  EXPECT_EQ(length, 11u);
  EXPECT_EQ(std::string(pointer, length), "FixtureRoot");
  EXPECT_NE(pointer, text);  // read through a copy
  tlcrash_async_macho_string_free(&string);
  EXPECT_FALSE(string.mapped);
}

TEST(MachOString, StringLongerThanAPageGrowsTheMapping) {
  std::vector<uint8_t> bytes(pageSize() * 3, 'a');
  bytes[pageSize() * 2 + 10] = '\0';
  MappedBytes memory(bytes);
  tlcrash_async_macho_string string;
  tlcrash_async_macho_string_init(&string, tlcrash_async_task_self(), memory.address() + 100);
  uint64_t length = 0;
  testing::internal::CaptureStderr();
  ASSERT_EQ(tlcrash_async_macho_string_get_length(&string, &length), TLCRASH_ESUCCESS);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Mapped a string larger than one page! Remapping ..."),
            std::string::npos);
  EXPECT_EQ(length, pageSize() * 2 + 10 - 100);
  tlcrash_async_macho_string_free(&string);
}

TEST(MachOString, UnterminatedStringBeforeAnUnreadablePageFails) {
  MappedBytes memory(std::vector<uint8_t>(pageSize(), 'x'), 1);
  tlcrash_async_macho_string string;
  tlcrash_async_macho_string_init(&string, tlcrash_async_task_self(), memory.address() + pageSize() - 8);
  uint64_t length = 0;
  const char* pointer = nullptr;
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_async_macho_string_get_length(&string, &length), TLCRASH_EINVAL);
  EXPECT_EQ(tlcrash_async_macho_string_get_pointer(&string, &pointer), TLCRASH_EACCESS);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Failed to remap additional space ..."), std::string::npos);
  tlcrash_async_macho_string_free(&string);
}

TEST(MachOString, UnreadableStringReportsTheMappingFailure) {
  MappedBytes memory({}, 1);
  tlcrash_async_macho_string string;
  tlcrash_async_macho_string_init(&string, tlcrash_async_task_self(), memory.address() + pageSize());
  uint64_t length = 0;
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_async_macho_string_get_length(&string, &length), TLCRASH_ENOMEM);
  testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace ml::crash
