// The exception server in this process: requests reach its callback with the thread, task, type
// and codes they carry and are answered with its verdict; what it cannot decode is answered with
// a failure; releasing the server stops its thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <unistd.h>

#include "crashreporter/capture/TLCrashMachExceptionServer.h"
#include "crashreporter/capture/platform/ExceptionMessages.h"
#include "crashreporter/capture/platform/MachPortSpace.h"

namespace ml::crash {
namespace {

using namespace mach;

struct Seen {
  std::atomic<int> calls{0};
  tlcrash_task_t task = 0;
  tlcrash_thread_t thread = 0;
  exception_type_t type = 0;
  mach_exception_data_type_t codes[2] = {};
  uint32_t count = 0;
  kern_return_t verdict = KERN_SUCCESS;
};

kern_return_t record(tlcrash_task_t task, tlcrash_thread_t thread, exception_type_t type,
                     const mach_exception_data_type_t* codes, uint32_t count, void* context) {
  auto* seen = static_cast<Seen*>(context);
  seen->task = task;
  seen->thread = thread;
  seen->type = type;
  seen->count = count;
  for (uint32_t i = 0; i < count && i < 2; ++i) seen->codes[i] = codes[i];
  seen->calls.fetch_add(1);
  return seen->verdict;
}

bool threadExists(tlcrash_thread_t thread) {
  return ::access(("/proc/self/task/" + std::to_string(thread)).c_str(), F_OK) == 0;
}

TEST(ExceptionServer, RequestReachesTheCallbackAndIsAnsweredWithItsVerdict) {
  Seen seen;
  seen.verdict = KERN_INVALID_ARGUMENT;
  auto server = TLCrashMachExceptionServer::initWithCallBack(record, &seen);
  ASSERT_TRUE(server.ok()) << server.error().description;
  auto port = server.value()->exceptionPortWithMask(EXC_MASK_BAD_ACCESS);
  ASSERT_TRUE(port.ok());
  EXPECT_EQ(port.value().behavior(), EXCEPTION_DEFAULT | MACH_EXCEPTION_CODES);
  EXPECT_EQ(port.value().flavor(), x86_THREAD_STATE);
  EXPECT_EQ(port.value().mask(), EXC_MASK_BAD_ACCESS);

  const mach_exception_data_type_t codes[2] = {KERN_PROTECTION_FAILURE, 0x1234567890};
  EXPECT_EQ(tl_mach_exception_raise(port.value().server_port(), 4242, ::getpid(), EXC_BAD_ACCESS, codes, 2),
            KERN_INVALID_ARGUMENT);
  EXPECT_EQ(seen.calls.load(), 1);
  EXPECT_EQ(seen.task, ::getpid());
  EXPECT_EQ(seen.thread, 4242);
  EXPECT_EQ(seen.type, EXC_BAD_ACCESS);
  EXPECT_EQ(seen.count, 2u);
  EXPECT_EQ(seen.codes[0], KERN_PROTECTION_FAILURE);
  EXPECT_EQ(seen.codes[1], 0x1234567890);
}

TEST(ExceptionServer, ShortRequestIsAnsweredWithFailureWithoutCallingBack) {
  Seen seen;
  auto server = TLCrashMachExceptionServer::initWithCallBack(record, &seen);
  ASSERT_TRUE(server.ok());
  auto right = server.value()->copySendRightForServer();
  ASSERT_TRUE(right.ok());
  // The 32-bit-code request is 76 bytes: shorter than the form the server decodes.
  const exception_data_type_t codes[2] = {1, 2};
  testing::internal::CaptureStderr();
  kern_return_t kr = tl_exception_raise(right.value(), 1, ::getpid(), EXC_BAD_ACCESS, codes, 2);
  std::string diagnostics = testing::internal::GetCapturedStderr();
  EXPECT_EQ(kr, KERN_FAILURE);
  EXPECT_EQ(seen.calls.load(), 0);
  EXPECT_NE(diagnostics.find("Unexpected message size of 76"), std::string::npos) << diagnostics;
  tl_mach_port_mod_send_refs(right.value(), -1);

  // The server goes on with the next request.
  const mach_exception_data_type_t wide[2] = {1, 2};
  auto port = server.value()->exceptionPortWithMask(EXC_MASK_BAD_ACCESS);
  EXPECT_EQ(tl_mach_exception_raise(port.value().server_port(), 1, ::getpid(), EXC_BAD_ACCESS, wide, 2), KERN_SUCCESS);
  EXPECT_EQ(seen.calls.load(), 1);
}

TEST(ExceptionServer, ReleasingTheServerStopsItsThreadAndItsPort) {
  Seen seen;
  tlcrash_thread_t thread;
  mach_port_t port;
  {
    auto server = TLCrashMachExceptionServer::initWithCallBack(record, &seen);
    ASSERT_TRUE(server.ok());
    thread = server.value()->serverThread();
    ASSERT_NE(thread, 0);
    EXPECT_TRUE(threadExists(thread));
    auto right = server.value()->copySendRightForServer();
    ASSERT_TRUE(right.ok());
    port = right.value();
  }
  // Stopping waited for the thread's last step; the thread itself is gone a moment later.
  for (int i = 0; i < 5000 && threadExists(thread); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_FALSE(threadExists(thread));
  const mach_exception_data_type_t codes[2] = {1, 2};
  EXPECT_EQ(tl_mach_exception_raise(port, 1, ::getpid(), EXC_BAD_ACCESS, codes, 2), MACH_SEND_INVALID_DEST);
  EXPECT_TRUE(tl_mach_port_is_dead(port)) << "our send right outlived the port as a dead name";
  tl_mach_port_mod_send_refs(port, -1);
}

TEST(ExceptionServer, RequestsFromManyThreadsAreAllAnswered) {
  Seen seen;
  auto server = TLCrashMachExceptionServer::initWithCallBack(record, &seen);
  ASSERT_TRUE(server.ok());
  auto port = server.value()->exceptionPortWithMask(EXC_MASK_ARITHMETIC);
  ASSERT_TRUE(port.ok());
  std::atomic<int> answered{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) {
        const mach_exception_data_type_t codes[2] = {i, t};
        if (tl_mach_exception_raise(port.value().server_port(), t, ::getpid(), EXC_ARITHMETIC, codes, 2) ==
            KERN_SUCCESS) {
          answered.fetch_add(1);
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(answered.load(), 200);
  EXPECT_EQ(seen.calls.load(), 200);
}

}  // namespace
}  // namespace ml::crash
