#include <gtest/gtest.h>

#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "ShownBytes.h"
#include "crashreporter/unwind/LocalMemoryWindow.h"
#include "crashreporter/unwind/MemoryReader.h"
#include "crashreporter/unwind/TaskMemoryWindow.h"

namespace ml::crash {
namespace {

TEST(MemoryWindow, ContainsChecksBothEndsAndOverflow) {
  EXPECT_TRUE(tlcrash_async_window_contains(100, 10, 100, 0, 10, nullptr));
  EXPECT_FALSE(tlcrash_async_window_contains(100, 10, 100, 0, 11, nullptr));
  EXPECT_FALSE(tlcrash_async_window_contains(100, 10, 100, -1, 1, nullptr));
  EXPECT_TRUE(tlcrash_async_window_contains(100, 10, 105, 5, 0, nullptr));
  EXPECT_FALSE(tlcrash_async_window_contains(100, 10, 105, 6, 0, nullptr));
  EXPECT_FALSE(tlcrash_async_window_contains(0, UINT64_MAX, UINT64_MAX, 1, 1, nullptr));
  EXPECT_FALSE(tlcrash_async_window_contains(10, UINT64_MAX - 10, UINT64_MAX - 4, 0, UINT64_MAX, nullptr));
  uint64_t at = 0;
  EXPECT_TRUE(tlcrash_async_window_contains(100, 10, 108, -3, 2, &at));
  EXPECT_EQ(at, 105u);
}

TEST(MemoryWindow, LocalWindowReadsAtPretendAddresses) {
  const uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7, 8};
  LocalMemoryWindow window(bytes, 0x1000, sizeof(bytes));
  uint32_t value = 0;
  ASSERT_EQ(tlcrash_async_reader_read_uint32(window, &tlcrash_async_byteorder_direct, 0x1000, 4, &value), TLCRASH_ESUCCESS);
  EXPECT_EQ(value, 0x08070605u);
  ASSERT_EQ(tlcrash_async_reader_read_uint32(window, &tlcrash_async_byteorder_swapped, 0x1004, 0, &value), TLCRASH_ESUCCESS);
  EXPECT_EQ(value, 0x05060708u);
  EXPECT_EQ(tlcrash_async_reader_read_uint32(window, &tlcrash_async_byteorder_direct, 0x1005, 0, &value), TLCRASH_EINVAL);
  EXPECT_EQ(window.remap(0x1000, 8, 0), bytes + 8);
  EXPECT_EQ(window.remap(0x1000, 8, 1), nullptr);
}

// Every kind of window reads any range inside it (across the task window's cache blocks too) and
// refuses one that leaves it on either side.
template <class Window>
class MemoryWindowReads : public ::testing::Test {};
TYPED_TEST_SUITE(MemoryWindowReads, test::MemoryWindowKinds, test::MemoryWindowName);

TYPED_TEST(MemoryWindowReads, AnyRangeInsideAndNoneLeavingIt) {
  std::vector<uint8_t> bytes(1000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  test::ShownBytes<TypeParam> shown(bytes);
  auto& window = shown.window();
  const uint64_t base = window.base_address();
  EXPECT_EQ(window.length(), bytes.size());
  std::vector<uint8_t> out(600);
  ASSERT_EQ(window.read(base, 300, out.data(), out.size()), TLCRASH_ESUCCESS);
  EXPECT_EQ(std::memcmp(out.data(), bytes.data() + 300, out.size()), 0);
  uint8_t last = 0;
  ASSERT_EQ(window.read(base + 999, 0, &last, 1), TLCRASH_ESUCCESS);
  EXPECT_EQ(last, bytes[999]);
  EXPECT_EQ(window.read(base + 999, 0, out.data(), 2), TLCRASH_EINVAL);
  EXPECT_EQ(window.read(base, -1, out.data(), 1), TLCRASH_EINVAL);
}

TEST(MemoryWindow, TaskWindowTreatsUnreadablePagesAsOutside) {
  long page = ::sysconf(_SC_PAGESIZE);
  auto* region = static_cast<uint8_t*>(::mmap(nullptr, static_cast<size_t>(page) * 2, PROT_READ | PROT_WRITE,
                                              MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(region, MAP_FAILED);
  region[page - 1] = 42;
  ASSERT_EQ(::mprotect(region + page, static_cast<size_t>(page), PROT_NONE), 0);
  auto base = reinterpret_cast<uint64_t>(region);
  TaskMemoryWindow window(tlcrash_async_task_self(), base, static_cast<uint64_t>(page) * 2);
  uint8_t byte = 0;
  ASSERT_EQ(window.read(base, page - 1, &byte, 1), TLCRASH_ESUCCESS);
  EXPECT_EQ(byte, 42);
  uint16_t straddling = 0;
  EXPECT_EQ(window.read(base, page - 1, &straddling, 2), TLCRASH_EINVAL);
  EXPECT_EQ(window.read(base, page, &byte, 1), TLCRASH_EINVAL);
  ::munmap(region, static_cast<size_t>(page) * 2);
}

}  // namespace
}  // namespace ml::crash
