#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/mman.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "crashreporter/AsyncFile.h"

namespace ml::crash {
namespace {

class MemoryFile {
 public:
  MemoryFile() : fd_(::memfd_create("async-file", 0)) {}
  ~MemoryFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  int fd() const { return fd_; }
  // The descriptor now belongs to the output file under test.
  void release() { fd_ = -1; }
  off_t size() const {
    struct stat st {};
    ::fstat(fd_, &st);
    return st.st_size;
  }

 private:
  int fd_;
};

TEST(AsyncFile, LimitRefusesAWholeWriteAndAcceptsLaterOnesThatFit) {
  MemoryFile memory;
  tlcrash_async_file file;
  tlcrash_async_file_init(&file, memory.fd(), 100);
  std::string data(60, 'a');
  EXPECT_TRUE(tlcrash_async_file_write(&file, data.data(), 60));
  EXPECT_FALSE(tlcrash_async_file_write(&file, data.data(), 50));
  EXPECT_EQ(file.total_bytes, 60u);
  EXPECT_TRUE(tlcrash_async_file_write(&file, data.data(), 40));
  EXPECT_EQ(tlcrash_async_file_remaining(&file), 0u);
  EXPECT_FALSE(file.failed);  // a refusal is not a failure of the file
  EXPECT_TRUE(tlcrash_async_file_flush(&file));
  EXPECT_EQ(memory.size(), 100);
}

TEST(AsyncFile, LargeWriteGoesStraightToTheDescriptor) {
  MemoryFile memory;
  tlcrash_async_file file;
  tlcrash_async_file_init(&file, memory.fd(), 0);
  std::string data(300, 'b');
  EXPECT_TRUE(tlcrash_async_file_write(&file, data.data(), data.size()));
  EXPECT_EQ(memory.size(), 300);
  EXPECT_EQ(file.buflen, 0u);
  EXPECT_EQ(tlcrash_async_file_remaining(&file), UINT64_MAX);
}

TEST(AsyncFile, WriteThatOverflowsTheBufferFlushesItFirst) {
  MemoryFile memory;
  tlcrash_async_file file;
  tlcrash_async_file_init(&file, memory.fd(), 0);
  std::string data(200, 'c');
  EXPECT_TRUE(tlcrash_async_file_write(&file, data.data(), 100));
  EXPECT_EQ(memory.size(), 0);
  EXPECT_TRUE(tlcrash_async_file_write(&file, data.data(), 200));
  EXPECT_EQ(memory.size(), 100);
  EXPECT_EQ(file.buflen, 200u);
  EXPECT_TRUE(tlcrash_async_file_flush(&file));
  EXPECT_EQ(memory.size(), 300);
  EXPECT_TRUE(tlcrash_async_file_flush(&file));  // an empty buffer flushes fine
}

TEST(AsyncFile, CloseFlushesAndClosesTheDescriptor) {
  MemoryFile memory;
  int copy = ::dup(memory.fd());
  tlcrash_async_file file;
  tlcrash_async_file_init(&file, copy, 0);
  EXPECT_TRUE(tlcrash_async_file_write(&file, "abc", 3));
  EXPECT_TRUE(tlcrash_async_file_close(&file));
  EXPECT_EQ(memory.size(), 3);
  EXPECT_EQ(::fcntl(copy, F_GETFD), -1);
}

TEST(AsyncFile, FailedWriteIsStickyThroughFlushAndClose) {
  // A pipe with no reader fails every write (SIGPIPE ignored for the test).
  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &previous);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);

  tlcrash_async_file file;
  tlcrash_async_file_init(&file, fds[1], 0);
  EXPECT_TRUE(tlcrash_async_file_write(&file, "buffered", 8));  // only buffered so far
  EXPECT_FALSE(tlcrash_async_file_flush(&file));
  EXPECT_TRUE(file.failed);
  EXPECT_FALSE(tlcrash_async_file_write(&file, "more", 4));
  EXPECT_FALSE(tlcrash_async_file_flush(&file));
  EXPECT_FALSE(tlcrash_async_file_close(&file));
  // The descriptor was left open for the caller.
  EXPECT_EQ(::close(fds[1]), 0);
  ::sigaction(SIGPIPE, &previous, nullptr);
}

TEST(AsyncFile, FailureOfADirectWriteIsReportedAtOnce) {
  tlcrash_async_file file;
  tlcrash_async_file_init(&file, -1, 0);
  std::string data(300, 'd');
  EXPECT_FALSE(tlcrash_async_file_write(&file, data.data(), data.size()));
  EXPECT_FALSE(tlcrash_async_file_flush(&file));
}

}  // namespace
}  // namespace ml::crash
