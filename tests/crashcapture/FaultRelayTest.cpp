// The fault relay as the kernel's exception delivery, in children: a registration with a state
// behaviour receives the faulting thread's registers and may hand back new ones, which the thread
// resumes with; a fault nobody handles ends the child with its own signal; a signal that was sent
// rather than raised by the processor is no exception at all.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <pthread.h>
#include <unistd.h>

#include "CrashTestSupport.h"
#include "crashreporter/capture/platform/ExceptionMessages.h"
#include "crashreporter/capture/platform/ExceptionPorts.h"
#include "crashreporter/capture/platform/FaultRelay.h"
#include "crashreporter/capture/platform/MachPortSpace.h"
#include "support/ChildProcess.h"

// Returns what rax holds after a breakpoint: 0, unless a handler changed it.
extern "C" __attribute__((noinline, used)) int crashcapture_breakpoint_value() {
  int value;
  asm volatile("xorl %%eax, %%eax\n\tint3\n\tmovl %%eax, %0" : "=r"(value) : : "eax", "memory");
  return value;
}

namespace ml::crash::test {
namespace {

using ml::test::ChildOutcome;
using ml::test::runInChild;

using namespace mach;

mach_port_t g_port = MACH_PORT_NULL;

// Answers one state-identity request (64-bit codes, x86_THREAD_STATE64) with rax set to 42.
void* answerWithNewRegisters(void*) {
  alignas(8) uint8_t request[kMaxMessageSize];
  uint32_t size = 0;
  if (tl_mach_msg_receive(g_port, request, sizeof(request), &size, 10ull * 1000 * 1000 * 1000) != MACH_MSG_SUCCESS) {
    ::_exit(80);
  }
  mach_msg_header_t header;
  std::memcpy(&header, request, sizeof(header));
  if (header.id != kMachExceptionRaiseStateIdentityId) ::_exit(81);
  if (tl_msg_read_u32(request, kExceptionRequestTypeOffset) != static_cast<uint32_t>(EXC_BREAKPOINT)) ::_exit(82);
  const uint32_t at = kExceptionRequestCodesOffset + 8 * tl_msg_read_u32(request, kExceptionRequestCountOffset);
  const uint32_t flavor = tl_msg_read_u32(request, at);
  const uint32_t count = tl_msg_read_u32(request, at + 4);
  if (flavor != static_cast<uint32_t>(x86_THREAD_STATE64) || count != x86_THREAD_STATE64_COUNT) ::_exit(83);

  alignas(8) uint8_t reply[44 + x86_THREAD_STATE64_COUNT * 4];
  tl_exception_reply_encode(header, KERN_SUCCESS, reply);
  mach_msg_header_t reply_header;
  std::memcpy(&reply_header, reply, sizeof(reply_header));
  reply_header.size = sizeof(reply);
  std::memcpy(reply, &reply_header, sizeof(reply_header));
  tl_msg_write_u32(reply, 36, flavor);
  tl_msg_write_u32(reply, 40, count);
  std::memcpy(reply + 44, request + at + 8, count * 4);
  tl_msg_write_i64(reply, 44, 42);  // rax, the first register of the block
  tl_mach_msg_send(reply, sizeof(reply), kNoWait);
  return nullptr;
}

TEST(FaultRelay, StateHandlerHandsBackRegistersTheThreadResumesWith) {
  ChildOutcome outcome = runInChild([] {
    resetCrashSignals();
    if (tl_mach_port_allocate_receive(&g_port) != KERN_SUCCESS) ::_exit(84);
    if (tl_mach_port_insert_send_right(g_port) != KERN_SUCCESS) ::_exit(85);
    if (tl_thread_set_exception_ports(tl_mach_thread_self(), EXC_MASK_BREAKPOINT, g_port,
                                      EXCEPTION_STATE_IDENTITY | MACH_EXCEPTION_CODES, x86_THREAD_STATE64) !=
        KERN_SUCCESS) {
      ::_exit(86);
    }
    pthread_t receiver;
    ::pthread_create(&receiver, nullptr, answerWithNewRegisters, nullptr);
    ::_exit(crashcapture_breakpoint_value());
  });
  ASSERT_TRUE(outcome.exited) << outcome.describe();
  EXPECT_EQ(outcome.exitCode, 42);
}

TEST(FaultRelay, FaultThatNoHandlerTakesEndsWithItsOwnSignal) {
  ChildOutcome outcome = runInChild([] {
    resetCrashSignals();
    if (tl_mach_port_allocate_receive(&g_port) != KERN_SUCCESS) ::_exit(84);
    if (tl_mach_port_insert_send_right(g_port) != KERN_SUCCESS) ::_exit(85);
    if (tl_task_set_exception_ports(::getpid(), EXC_MASK_BAD_ACCESS, g_port, EXCEPTION_DEFAULT, 0) != KERN_SUCCESS) {
      ::_exit(86);
    }
    // Nobody receives: the port is destroyed first, so the raise fails at once.
    tl_mach_port_destroy(g_port);
    volatile int* nowhere = nullptr;
    (void)*nowhere;
    ::_exit(0);
  });
  ASSERT_TRUE(outcome.signaled) << outcome.describe();
  EXPECT_EQ(outcome.signal, SIGSEGV);
}

TEST(FaultRelay, OnlyProcessorFaultsBecomeExceptions) {
  siginfo_t sent{};
  sent.si_signo = SIGSEGV;
  sent.si_code = SI_USER;
  exception_type_t type;
  mach_exception_data_type_t codes[2];
  EXPECT_FALSE(tl_fault_relay_exception_for(&sent, &type, codes));

  siginfo_t fault{};
  fault.si_signo = SIGSEGV;
  fault.si_code = SEGV_ACCERR;
  fault.si_addr = reinterpret_cast<void*>(0x1000);
  ASSERT_TRUE(tl_fault_relay_exception_for(&fault, &type, codes));
  EXPECT_EQ(type, EXC_BAD_ACCESS);
  EXPECT_EQ(codes[0], KERN_PROTECTION_FAILURE);
  EXPECT_EQ(codes[1], 0x1000);

  siginfo_t breakpoint{};
  breakpoint.si_signo = SIGTRAP;
  breakpoint.si_code = SI_KERNEL;  // int3
  ASSERT_TRUE(tl_fault_relay_exception_for(&breakpoint, &type, codes));
  EXPECT_EQ(type, EXC_BREAKPOINT);
  EXPECT_EQ(codes[0], EXC_I386_BPT);

  siginfo_t divide{};
  divide.si_signo = SIGFPE;
  divide.si_code = FPE_INTDIV;
  ASSERT_TRUE(tl_fault_relay_exception_for(&divide, &type, codes));
  EXPECT_EQ(type, EXC_ARITHMETIC);
  EXPECT_EQ(codes[0], EXC_I386_DIV);

  siginfo_t pipe{};
  pipe.si_signo = SIGPIPE;
  pipe.si_code = 1;
  EXPECT_FALSE(tl_fault_relay_exception_for(&pipe, &type, codes));
}

}  // namespace
}  // namespace ml::crash::test
