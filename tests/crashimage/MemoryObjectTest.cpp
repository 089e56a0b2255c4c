#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "MappedBytes.h"
#include "crashreporter/image/MemoryObject.h"

namespace ml::crash {
namespace {

using test::MappedBytes;
using test::pageSize;

std::vector<uint8_t> pattern(size_t n) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
  return bytes;
}

TEST(MemoryObject, MapsTheRangeAndReadsThroughTheTargetAddress) {
  MappedBytes memory(pattern(pageSize() * 2));
  const uint64_t target = memory.address() + 100;
  tlcrash_async_mobject mobj;
  ASSERT_EQ(tlcrash_async_mobject_init(&mobj, tlcrash_async_task_self(), target, 50, true), TLCRASH_ESUCCESS);

  EXPECT_EQ(tlcrash_async_mobject_base_address(&mobj), target);
  EXPECT_EQ(tlcrash_async_mobject_length(&mobj), 50u);
  EXPECT_EQ(mobj.address - mobj.mapping_address, 100u);
  EXPECT_EQ(static_cast<uint64_t>(mobj.slide), target - mobj.address);
  EXPECT_NE(mobj.address, target);  // a copy, not the original

  uint8_t byte = 0;
  ASSERT_EQ(tlcrash_async_mobject_read_uint8(&mobj, target, 3, &byte), TLCRASH_ESUCCESS);
  EXPECT_EQ(byte, memory.data()[103]);
  uint32_t word = 0;
  ASSERT_EQ(tlcrash_async_mobject_read_uint32(&mobj, &tlcrash_async_byteorder_direct, target, 46, &word), TLCRASH_ESUCCESS);
  uint32_t expected;
  std::memcpy(&expected, memory.data() + 146, 4);
  EXPECT_EQ(word, expected);
  EXPECT_EQ(tlcrash_async_mobject_read_uint32(&mobj, &tlcrash_async_byteorder_direct, target, 47, &word), TLCRASH_EINVAL);
  tlcrash_async_mobject_free(&mobj);
}

TEST(MemoryObject, ValuesPassThroughTheByteOrder) {
  MappedBytes memory({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08});
  tlcrash_async_mobject mobj;
  ASSERT_EQ(tlcrash_async_mobject_init(&mobj, tlcrash_async_task_self(), memory.address(), 8, true), TLCRASH_ESUCCESS);
  uint16_t v16;
  uint64_t v64;
  ASSERT_EQ(tlcrash_async_mobject_read_uint16(&mobj, &tlcrash_async_byteorder_swapped, memory.address(), 0, &v16), 0);
  EXPECT_EQ(v16, 0x0102);
  ASSERT_EQ(tlcrash_async_mobject_read_uint64(&mobj, &tlcrash_async_byteorder_swapped, memory.address(), 0, &v64), 0);
  EXPECT_EQ(v64, 0x0102030405060708u);
  tlcrash_async_mobject_free(&mobj);
}

TEST(MemoryObject, IsASnapshotThatLaterWritesDoNotChange) {
  MappedBytes memory({1, 2, 3, 4});
  tlcrash_async_mobject mobj;
  ASSERT_EQ(tlcrash_async_mobject_init(&mobj, tlcrash_async_task_self(), memory.address(), 4, true), TLCRASH_ESUCCESS);
  memory.data()[0] = 99;
  uint8_t byte = 0;
  ASSERT_EQ(tlcrash_async_mobject_read_uint8(&mobj, memory.address(), 0, &byte), TLCRASH_ESUCCESS);
  EXPECT_EQ(byte, 1);
  tlcrash_async_mobject_free(&mobj);
}

TEST(MemoryObject, PartialMappingIsCutToTheReadablePages) {
  MappedBytes memory(pattern(pageSize()), 1);
  const uint64_t target = memory.address() + 16;
  tlcrash_async_mobject mobj;
  ASSERT_EQ(tlcrash_async_mobject_init(&mobj, tlcrash_async_task_self(), target, pageSize() * 2, false),
            TLCRASH_ESUCCESS);
  EXPECT_EQ(mobj.length, pageSize() - 16);
  EXPECT_EQ(mobj.mapping_length, pageSize());
  tlcrash_async_mobject_free(&mobj);

  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_async_mobject_init(&mobj, tlcrash_async_task_self(), target, pageSize() * 2, true), TLCRASH_ENOMEM);
  testing::internal::GetCapturedStderr();
}

TEST(MemoryObject, UnreadableFirstPageFailsWithNoMappablePages) {
  MappedBytes memory(pattern(pageSize()), 1);
  const uint64_t target = memory.address() + pageSize();
  tlcrash_async_mobject mobj;
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_async_mobject_init(&mobj, tlcrash_async_task_self(), target, 8, false), TLCRASH_ENOMEM);
  std::string err = testing::internal::GetCapturedStderr();
  char expected[64];
  std::snprintf(expected, sizeof(expected), "No mappable pages found at 0x%llx\n", static_cast<unsigned long long>(target));
  EXPECT_NE(err.find("[TLCrashReport] tlcrash_async_mobject_init:"), std::string::npos) << err;
  EXPECT_NE(err.find(expected), std::string::npos) << err;
}

TEST(MemoryObject, EmptyRangeAtAPageBoundaryHasNoPages) {
  MappedBytes memory(pattern(pageSize()));
  tlcrash_async_mobject mobj;
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_async_mobject_init(&mobj, tlcrash_async_task_self(), memory.address(), 0, false), TLCRASH_ENOMEM);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("No mappable pages found"), std::string::npos);

  // Inside a page, the empty range still covers that page.
  ASSERT_EQ(tlcrash_async_mobject_init(&mobj, tlcrash_async_task_self(), memory.address() + 1, 0, false), TLCRASH_ESUCCESS);
  EXPECT_EQ(mobj.length, 0u);
  tlcrash_async_mobject_free(&mobj);
}

TEST(MemoryObject, RangeWrappingPastTheTopIsRefused) {
  tlcrash_async_mobject mobj;
  EXPECT_EQ(tlcrash_async_mobject_init(&mobj, tlcrash_async_task_self(), UINT64_MAX - 10, 100, false), TLCRASH_EINVAL);
}

TEST(MemoryObject, OversizedRangesAreCutOrRefused) {
  MappedBytes memory(pattern(pageSize()));
  tlcrash_async_mobject mobj;
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_async_mobject_init(&mobj, tlcrash_async_task_self(), memory.address(), kMaxMemoryObjectLength + 1, true),
            TLCRASH_ENOMEM);
  testing::internal::GetCapturedStderr();
  // Without require_full the range is cut, here further to the one readable page.
  ASSERT_EQ(tlcrash_async_mobject_init(&mobj, tlcrash_async_task_self(), memory.address(), UINT64_MAX / 2, false),
            TLCRASH_ESUCCESS);
  EXPECT_LE(mobj.length, kMaxMemoryObjectLength);
  tlcrash_async_mobject_free(&mobj);
}

TEST(MemoryObject, RemapChecksTheWholeSpan) {
  MappedBytes memory(pattern(64));
  tlcrash_async_mobject mobj;
  ASSERT_EQ(tlcrash_async_mobject_init(&mobj, tlcrash_async_task_self(), memory.address(), 32, true), TLCRASH_ESUCCESS);
  const uint64_t base = memory.address();
  EXPECT_NE(tlcrash_async_mobject_remap_address(&mobj, base, 0, 32), nullptr);   // ends exactly at the end
  EXPECT_EQ(tlcrash_async_mobject_remap_address(&mobj, base, 1, 32), nullptr);   // one byte past it
  EXPECT_EQ(tlcrash_async_mobject_remap_address(&mobj, base, -1, 1), nullptr);   // before the start
  EXPECT_EQ(tlcrash_async_mobject_remap_address(&mobj, base, 0, UINT64_MAX), nullptr);
  EXPECT_EQ(tlcrash_async_mobject_remap_address(&mobj, base + 8, -8, 4),
            reinterpret_cast<void*>(static_cast<uintptr_t>(mobj.address)));

  EXPECT_FALSE(tlcrash_async_mobject_verify_local_pointer(&mobj, 5, -6, 1));          // wraps below zero
  EXPECT_FALSE(tlcrash_async_mobject_verify_local_pointer(&mobj, mobj.address, 4, UINT64_MAX - 2));  // end overflows
  EXPECT_TRUE(tlcrash_async_mobject_verify_local_pointer(&mobj, mobj.address, 31, 1));
  tlcrash_async_mobject_free(&mobj);
}

TEST(MemoryObject, FreeClearsAndMayBeRepeated) {
  MappedBytes memory(pattern(16));
  tlcrash_async_mobject mobj;
  ASSERT_EQ(tlcrash_async_mobject_init(&mobj, tlcrash_async_task_self(), memory.address(), 16, true), TLCRASH_ESUCCESS);
  tlcrash_async_mobject_free(&mobj);
  EXPECT_EQ(mobj.mapping_address, 0u);
  EXPECT_EQ(tlcrash_async_mobject_remap_address(&mobj, memory.address(), 0, 1), nullptr);
  tlcrash_async_mobject_free(&mobj);
}

}  // namespace
}  // namespace ml::crash
