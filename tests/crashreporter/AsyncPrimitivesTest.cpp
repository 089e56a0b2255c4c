#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "crashreporter/AsyncByteOrder.h"
#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncError.h"
#include "crashreporter/AsyncFormat.h"
#include "crashreporter/AsyncMemory.h"
#include "crashreporter/AsyncString.h"

namespace ml::crash {
namespace {

std::string readAll(int fd) {
  std::string text;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof(buffer))) > 0) text.append(buffer, static_cast<size_t>(n));
  return text;
}

// Calls the formatter without the compiler's format checks, for formats the checks reject on purpose.
size_t formatUnchecked(char* buffer, size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  size_t n = tlcrash_async_vformat(buffer, capacity, format, args);
  va_end(args);
  return n;
}

TEST(AsyncError, TextsCoverEveryCodeAndNameUnknownOnes) {
  EXPECT_STREQ(tlcrash_async_strerror(0), "No error");
  EXPECT_STREQ(tlcrash_async_strerror(2), "Output file can not be opened (or written to)");
  EXPECT_STREQ(tlcrash_async_strerror(8), "Not found");
  EXPECT_STREQ(tlcrash_async_strerror(9), "The input data is in an unknown or invalid format.");
  EXPECT_STREQ(tlcrash_async_strerror(10), "Unhandled error code");
  EXPECT_STREQ(tlcrash_async_strerror(-1), "Unhandled error code");
}

TEST(AsyncAddress, ApplyOffsetRefusesWrapAroundBothWays) {
  uint64_t out = 0;
  EXPECT_FALSE(tlcrash_async_address_apply_offset(10, -11, &out));
  EXPECT_FALSE(tlcrash_async_address_apply_offset(UINT64_MAX, 1, &out));
  EXPECT_TRUE(tlcrash_async_address_apply_offset(UINT64_MAX, 0, &out));
  EXPECT_EQ(out, UINT64_MAX);
  EXPECT_TRUE(tlcrash_async_address_apply_offset(10, -10, &out));
  EXPECT_EQ(out, 0u);
  EXPECT_FALSE(tlcrash_async_address_apply_offset(0, INT64_MIN, nullptr));
}

TEST(AsyncMemory, ReadsMappedMemoryWithOffset) {
  const char text[] = "0123456789";
  char out[4] = {};
  auto base = reinterpret_cast<uint64_t>(text);
  ASSERT_EQ(tlcrash_async_task_memcpy(tlcrash_async_task_self(), base, 3, out, 4), TLCRASH_ESUCCESS);
  EXPECT_EQ(std::string(out, 4), "3456");
}

TEST(AsyncMemory, UnmappedAndProtectedPagesAnswerNotFoundWithoutFaulting) {
  long page = ::sysconf(_SC_PAGESIZE);
  void* region = ::mmap(nullptr, static_cast<size_t>(page) * 2, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(region, MAP_FAILED);
  auto* bytes = static_cast<char*>(region);
  ASSERT_EQ(::mprotect(bytes + page, static_cast<size_t>(page), PROT_NONE), 0);
  uint64_t value = 0;
  auto protectedPage = reinterpret_cast<uint64_t>(bytes + page);
  EXPECT_EQ(tlcrash_async_task_memcpy(tlcrash_async_task_self(), protectedPage, 0, &value, sizeof(value)), TLCRASH_ENOTFOUND);
  // A read that starts readable and runs into the protected page is refused whole.
  EXPECT_EQ(tlcrash_async_task_memcpy(tlcrash_async_task_self(), protectedPage, -4, &value, sizeof(value)), TLCRASH_ENOTFOUND);

  ASSERT_EQ(::munmap(bytes + page, static_cast<size_t>(page)), 0);
  EXPECT_EQ(tlcrash_async_task_memcpy(tlcrash_async_task_self(), protectedPage, 0, &value, sizeof(value)), TLCRASH_ENOTFOUND);
  EXPECT_EQ(tlcrash_async_task_memcpy(tlcrash_async_task_self(), 0, 0, &value, sizeof(value)), TLCRASH_ENOTFOUND);
  ::munmap(bytes, static_cast<size_t>(page));
}

TEST(AsyncMemory, OverflowingAddressIsRefusedBeforeReading) {
  uint8_t value = 0;
  EXPECT_EQ(tlcrash_async_task_read_uint8(tlcrash_async_task_self(), UINT64_MAX, 1, &value), TLCRASH_ENOMEM);
}

TEST(AsyncMemory, TypedReadsApplyTheByteOrderTable) {
  const uint8_t data[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
  auto base = reinterpret_cast<uint64_t>(data);
  auto self = tlcrash_async_task_self();
  uint16_t v16 = 0;
  uint32_t v32 = 0;
  uint64_t v64 = 0;
  ASSERT_EQ(tlcrash_async_task_read_uint16(self, tlcrash_async_byteorder_little_endian(), base, 0, &v16), TLCRASH_ESUCCESS);
  EXPECT_EQ(v16, 0x0201);
  ASSERT_EQ(tlcrash_async_task_read_uint16(self, tlcrash_async_byteorder_big_endian(), base, 0, &v16), TLCRASH_ESUCCESS);
  EXPECT_EQ(v16, 0x0102);
  ASSERT_EQ(tlcrash_async_task_read_uint32(self, &tlcrash_async_byteorder_swapped, base, 4, &v32), TLCRASH_ESUCCESS);
  EXPECT_EQ(v32, 0x05060708u);
  ASSERT_EQ(tlcrash_async_task_read_uint64(self, &tlcrash_async_byteorder_direct, base, 0, &v64), TLCRASH_ESUCCESS);
  EXPECT_EQ(v64, 0x0807060504030201ull);
}

TEST(AsyncString, ComparesAsUnsignedBytes) {
  EXPECT_EQ(tlcrash_async_strcmp("abc", "abc"), 0);
  EXPECT_LT(tlcrash_async_strcmp("abc", "abd"), 0);
  EXPECT_GT(tlcrash_async_strcmp("\xff", "a"), 0);  // 0xff sorts after 'a' as an unsigned byte
  EXPECT_LT(tlcrash_async_strcmp("ab", "abc"), 0);
  EXPECT_EQ(tlcrash_async_strncmp("abcX", "abcY", 3), 0);
  EXPECT_EQ(tlcrash_async_strncmp("x", "y", 0), 0);
  EXPECT_EQ(tlcrash_async_strncmp("ab", "ab", 10), 0);
}

TEST(AsyncString, MemoryRoutinesCopyAndFill) {
  char buffer[8];
  EXPECT_EQ(tlcrash_async_memset(buffer, 0x141, sizeof(buffer)), buffer);  // low byte only
  EXPECT_EQ(std::string(buffer, 8), std::string(8, 'A'));
  tlcrash_async_memcpy(buffer, "xyz", 3);
  EXPECT_EQ(std::string(buffer, 8), "xyzAAAAA");
}

TEST(AsyncString, WritenWritesEverythingAndReportsFailure) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  EXPECT_EQ(tlcrash_async_writen(fds[1], "ignored", 0), 0);
  EXPECT_EQ(tlcrash_async_writen(fds[1], "hello", 5), 5);
  ::close(fds[1]);
  EXPECT_EQ(readAll(fds[0]), "hello");
  ::close(fds[0]);
  EXPECT_EQ(tlcrash_async_writen(-1, "x", 1), -1);
}

TEST(AsyncFormat, FormatsTheConversionsCrashCodeUses) {
  char buffer[64];
  tlcrash_async_format(buffer, sizeof(buffer), "#%d", INT32_MIN);
  EXPECT_STREQ(buffer, "#-2147483648");
  tlcrash_async_format(buffer, sizeof(buffer), "%u %x %X %llx %jd", 42u, 255u, 255u, 0xdeadbeefcafeull, static_cast<intmax_t>(-7));
  EXPECT_STREQ(buffer, "42 ff FF deadbeefcafe -7");
  formatUnchecked(buffer, sizeof(buffer), "[%08x|%5d|%s|%c|%%|%s]", 0xabu, -12, "s", 'c', static_cast<const char*>(nullptr));
  EXPECT_STREQ(buffer, "[000000ab|  -12|s|c|%|(null)]");
  formatUnchecked(buffer, sizeof(buffer), "%q%");
  EXPECT_STREQ(buffer, "%q%");
}

TEST(AsyncFormat, CutsAtTheBufferAndTerminates) {
  char buffer[6];
  size_t n = tlcrash_async_format(buffer, sizeof(buffer), "%s", "abcdefghij");
  EXPECT_EQ(n, 5u);
  EXPECT_STREQ(buffer, "abcde");
}

TEST(AsyncDiagnostic, WritesOnePrefixedLine) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  tlcrash_async_diag(fds[1], "operation", 17, "value %d: %s", 5, "text");
  ::close(fds[1]);
  EXPECT_EQ(readAll(fds[0]), "[TLCrashReport] operation:17: value 5: text\n");
  ::close(fds[0]);
}

TEST(AsyncDiagnostic, LongMessageIsCutToTheBufferAndStillEndsTheLine) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::string longText(300, 'x');
  tlcrash_async_diag(fds[1], "op", 1, "%s", longText.c_str());
  ::close(fds[1]);
  std::string expected = "[TLCrashReport] op:1: " + std::string(kDiagnosticBufferSize - 1, 'x') + "\n";
  EXPECT_EQ(readAll(fds[0]), expected);
  ::close(fds[0]);
}

}  // namespace
}  // namespace ml::crash
