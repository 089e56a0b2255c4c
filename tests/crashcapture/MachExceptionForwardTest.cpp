// Forwarding an exception to the ports registered before ours, and mapping an exception to the
// signal it stands for.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <thread>
#include <unistd.h>

#include "crashreporter/capture/MachExceptionForward.h"
#include "crashreporter/capture/TLCrashMachExceptionServer.h"
#include "crashreporter/capture/platform/ExceptionMessages.h"
#include "crashreporter/capture/platform/MachPortSpace.h"
#include "crashreporter/capture/platform/ThreadStopper.h"

namespace ml::crash {
namespace {

using namespace mach;

struct Mapping {
  exception_type_t type;
  mach_exception_data_type_t code;
  int signal;
  int signalCode;
};

TEST(MachExceptionSignal, ExceptionsMapToTheirSignals) {
  const Mapping mappings[] = {
      {EXC_BAD_ACCESS, KERN_INVALID_ADDRESS, SIGSEGV, SEGV_MAPERR},
      {EXC_BAD_ACCESS, KERN_PROTECTION_FAILURE, SIGBUS, BUS_ADRERR},
      {EXC_BAD_ACCESS, KERN_MEMORY_ERROR, SIGBUS, BUS_ADRERR},
      {EXC_BAD_INSTRUCTION, EXC_I386_INVOP, SIGILL, 0},
      {EXC_ARITHMETIC, EXC_I386_DIV, SIGFPE, 0},
      {EXC_SOFTWARE, EXC_UNIX_BAD_SYSCALL, SIGSYS, 0},
      {EXC_SOFTWARE, EXC_UNIX_BAD_PIPE, SIGPIPE, 0},
      {EXC_SOFTWARE, EXC_UNIX_ABORT, SIGABRT, 0},
      {EXC_SOFTWARE, EXC_SOFT_SIGNAL, SIGKILL, 0},
      {EXC_BREAKPOINT, EXC_I386_BPT, SIGTRAP, TRAP_BRKPT},
  };
  for (const Mapping& mapping : mappings) {
    siginfo_t info;
    std::memset(&info, 0, sizeof(info));
    const mach_exception_data_type_t codes[2] = {mapping.code, 0xfeed};
    ASSERT_TRUE(tlcrash_async_mach_exception_get_siginfo(mapping.type, codes, 2, -1, &info)) << mapping.type;
    EXPECT_EQ(info.si_signo, mapping.signal) << mapping.type << "/" << mapping.code;
    EXPECT_EQ(info.si_code, mapping.signalCode) << mapping.type << "/" << mapping.code;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(info.si_addr), 0xfeedu);
  }
}

TEST(MachExceptionSignal, UnexpectedSoftwareCodeMapsToAbortWithADiagnostic) {
  siginfo_t info{};
  const mach_exception_data_type_t codes[2] = {0x12345, 0};
  testing::internal::CaptureStderr();
  ASSERT_TRUE(tlcrash_async_mach_exception_get_siginfo(EXC_SOFTWARE, codes, 2, -1, &info));
  std::string diagnostics = testing::internal::GetCapturedStderr();
  EXPECT_EQ(info.si_signo, SIGABRT);
  EXPECT_NE(diagnostics.find("Unexpected EXC_SOFTWARE code of 74565"), std::string::npos) << diagnostics;
}

TEST(MachExceptionSignal, OneCodeOrAnUnmappedTypeGivesNoSignal) {
  siginfo_t info{};
  const mach_exception_data_type_t codes[2] = {KERN_INVALID_ADDRESS, 0};
  testing::internal::CaptureStderr();
  EXPECT_FALSE(tlcrash_async_mach_exception_get_siginfo(EXC_BAD_ACCESS, codes, 1, -1, &info));
  std::string diagnostics = testing::internal::GetCapturedStderr();
  EXPECT_NE(diagnostics.find("Unexpected Mach code count of 1; can't map to UNIX exception"), std::string::npos);
  EXPECT_FALSE(tlcrash_async_mach_exception_get_siginfo(EXC_SYSCALL, codes, 2, -1, &info));
  EXPECT_FALSE(tlcrash_async_mach_exception_get_siginfo(EXC_EMULATION, codes, 2, -1, &info));
}

TEST(MachExceptionSignal, MaskBitsCoverTheKnownTypes) {
  EXPECT_EQ(tlcrash_exception_to_mask(EXC_BAD_ACCESS), EXC_MASK_BAD_ACCESS);
  EXPECT_EQ(tlcrash_exception_to_mask(EXC_GUARD), EXC_MASK_GUARD);
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_exception_to_mask(EXC_RESOURCE), 1u << EXC_RESOURCE);
  std::string diagnostics = testing::internal::GetCapturedStderr();
  EXPECT_NE(diagnostics.find("Unhandled exception type 11"), std::string::npos);
}

struct Answer {
  std::atomic<int> calls{0};
  kern_return_t verdict;
};

kern_return_t answer(tlcrash_task_t, tlcrash_thread_t, exception_type_t, const mach_exception_data_type_t*, uint32_t,
                     void* context) {
  auto* a = static_cast<Answer*>(context);
  a->calls.fetch_add(1);
  return a->verdict;
}

TEST(MachExceptionForward, FirstValidRegistrationWithTheBitGetsTheException) {
  Answer skipped{.verdict = KERN_FAILURE};
  Answer chosen{.verdict = KERN_SUCCESS};
  auto other = TLCrashMachExceptionServer::initWithCallBack(answer, &skipped);
  auto target = TLCrashMachExceptionServer::initWithCallBack(answer, &chosen);
  ASSERT_TRUE(other.ok() && target.ok());
  auto other_right = other.value()->copySendRightForServer();
  auto target_right = target.value()->copySendRightForServer();

  tlcrash_mach_exception_port_set set{};
  set.count = 4;
  set.masks[0] = EXC_MASK_BAD_ACCESS;
  set.ports[0] = MACH_PORT_NULL;  // empty registration
  set.masks[1] = EXC_MASK_BAD_ACCESS;
  set.ports[1] = MACH_PORT_DEAD;
  set.masks[2] = EXC_MASK_ARITHMETIC;  // the wrong type
  set.ports[2] = other_right.value();
  set.masks[3] = EXC_MASK_BAD_ACCESS | EXC_MASK_ARITHMETIC;
  set.ports[3] = target_right.value();
  for (uint32_t i = 0; i < set.count; ++i) set.behaviors[i] = EXCEPTION_DEFAULT | MACH_EXCEPTION_CODES;

  const mach_exception_data_type_t codes[2] = {KERN_INVALID_ADDRESS, 0};
  EXPECT_EQ(TLCrashMachExceptionForward(::getpid(), 1, EXC_BAD_ACCESS, codes, 2, &set), KERN_SUCCESS);
  EXPECT_EQ(chosen.calls.load(), 1);
  EXPECT_EQ(skipped.calls.load(), 0);

  // Only the first match is tried: its refusal is the answer.
  chosen.verdict = KERN_FAILURE;
  set.masks[2] = EXC_MASK_BAD_ACCESS;
  EXPECT_EQ(TLCrashMachExceptionForward(::getpid(), 1, EXC_BAD_ACCESS, codes, 2, &set), KERN_FAILURE);
  EXPECT_EQ(skipped.calls.load(), 1);
  EXPECT_EQ(chosen.calls.load(), 1);

  set.count = 2;  // nothing matches
  EXPECT_EQ(TLCrashMachExceptionForward(::getpid(), 1, EXC_BAD_ACCESS, codes, 2, &set), KERN_FAILURE);
  tl_mach_port_mod_send_refs(other_right.value(), -1);
  tl_mach_port_mod_send_refs(target_right.value(), -1);
}

TEST(MachExceptionForward, UnsupportedBehaviourIsRefused) {
  tlcrash_mach_exception_port_set set{};
  mach_port_t port;
  ASSERT_EQ(tl_mach_port_allocate_receive(&port), KERN_SUCCESS);
  set.count = 1;
  set.masks[0] = EXC_MASK_BAD_ACCESS;
  set.ports[0] = port;
  set.behaviors[0] = 7 | MACH_EXCEPTION_CODES;
  const mach_exception_data_type_t codes[2] = {1, 0};
  testing::internal::CaptureStderr();
  EXPECT_EQ(TLCrashMachExceptionForward(::getpid(), 1, EXC_BAD_ACCESS, codes, 2, &set), KERN_FAILURE);
  std::string diagnostics = testing::internal::GetCapturedStderr();
  EXPECT_NE(diagnostics.find("Unsupported exception behavior: 0x80000007 (MACH_EXCEPTION_CODES=true)"),
            std::string::npos)
      << diagnostics;
  tl_mach_port_destroy(port);
}

TEST(MachExceptionForward, StateBehaviourNeedsAStoppedThread) {
  tlcrash_mach_exception_port_set set{};
  mach_port_t port;
  ASSERT_EQ(tl_mach_port_allocate_receive(&port), KERN_SUCCESS);
  set.count = 1;
  set.masks[0] = EXC_MASK_BAD_ACCESS;
  set.ports[0] = port;
  set.behaviors[0] = EXCEPTION_STATE_IDENTITY;
  set.flavors[0] = x86_THREAD_STATE;
  const mach_exception_data_type_t codes[2] = {1, 0};
  testing::internal::CaptureStderr();
  EXPECT_EQ(TLCrashMachExceptionForward(::getpid(), tl_mach_thread_self(), EXC_BAD_ACCESS, codes, 2, &set),
            KERN_FAILURE);
  std::string diagnostics = testing::internal::GetCapturedStderr();
  EXPECT_NE(diagnostics.find("Failed to fetch thread state for thread="), std::string::npos) << diagnostics;
  tl_mach_port_destroy(port);
}

// A receiver of state-identity requests for the test below: checks the message and answers.
void answerStateIdentity(mach_port_t port, int32_t* seen_id, uint32_t* seen_state_words, uint64_t* seen_rip) {
  alignas(8) uint8_t buffer[kMaxMessageSize];
  uint32_t size = 0;
  if (tl_mach_msg_receive(port, buffer, sizeof(buffer), &size, 10ull * 1000 * 1000 * 1000) != MACH_MSG_SUCCESS) return;
  mach_msg_header_t header;
  std::memcpy(&header, buffer, sizeof(header));
  *seen_id = header.id;
  // identity form, 64-bit codes: codes at 68, two of them; then flavour, count, state
  uint32_t count = tl_msg_read_u32(buffer, 64);
  uint32_t at = 68 + 8 * count;
  *seen_state_words = tl_msg_read_u32(buffer, at + 4);
  std::memcpy(seen_rip, buffer + at + 8 + 8 + 16 * 8, sizeof(*seen_rip));  // x86_THREAD_STATE: header, then rip is the 17th register
  uint8_t reply[kExceptionReplySize];
  tl_exception_reply_encode(header, KERN_SUCCESS, reply);
  tl_mach_msg_send(reply, sizeof(reply), kNoWait);
}

TEST(MachExceptionForward, StateIdentityRequestCarriesTheStoppedThreadsRegisters) {
  ASSERT_EQ(tlcrash_nasync_thread_stopper_prepare(), 0);
  std::atomic<bool> done{false};
  std::atomic<tlcrash_thread_t> helper_tid{0};
  std::thread helper([&] {
    helper_tid = tl_mach_thread_self();
    while (!done.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  while (helper_tid.load() == 0) std::this_thread::yield();
  const tlcrash_thread_t tid = helper_tid.load();
  ASSERT_EQ(tlcrash_async_threads_stop(&tid, 1, 2ull * 1000 * 1000 * 1000), 1u);
  const uint64_t stopped_rip = tlcrash_async_thread_stopped_state(tid)->x86_state.uts.ts64.rip;

  mach_port_t port;
  ASSERT_EQ(tl_mach_port_allocate_receive(&port), KERN_SUCCESS);
  int32_t seen_id = 0;
  uint32_t seen_words = 0;
  uint64_t seen_rip = 0;
  std::thread receiver(answerStateIdentity, port, &seen_id, &seen_words, &seen_rip);

  tlcrash_mach_exception_port_set set{};
  set.count = 1;
  set.masks[0] = EXC_MASK_BAD_ACCESS;
  set.ports[0] = port;
  set.behaviors[0] = EXCEPTION_STATE_IDENTITY | MACH_EXCEPTION_CODES;
  set.flavors[0] = x86_THREAD_STATE;
  const mach_exception_data_type_t codes[2] = {1, 0};
  EXPECT_EQ(TLCrashMachExceptionForward(::getpid(), tid, EXC_BAD_ACCESS, codes, 2, &set), KERN_SUCCESS);
  receiver.join();
  tlcrash_async_threads_resume();
  done = true;
  helper.join();

  EXPECT_EQ(seen_id, kMachExceptionRaiseStateIdentityId);
  EXPECT_EQ(seen_words, x86_THREAD_STATE_COUNT);
  EXPECT_EQ(seen_rip, stopped_rip);
  tl_mach_port_destroy(port);
}

}  // namespace
}  // namespace ml::crash
