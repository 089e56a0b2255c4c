// The exception-port tables of the task and its threads, in this process: set, get and swap with
// the original kernel's semantics (collapsed entries, references handed out with returned ports,
// dead names), the order in which a faulting thread's registrations are offered, and the fault
// relay being installed exactly while a port is registered. Every test puts back what it changed.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <unistd.h>

#include "crashreporter/capture/TLCrashMachExceptionPort.h"
#include "crashreporter/capture/TLCrashMachExceptionPortSet.h"
#include "crashreporter/capture/platform/ExceptionMessages.h"
#include "crashreporter/capture/platform/ExceptionPorts.h"
#include "crashreporter/capture/platform/FaultRelay.h"
#include "crashreporter/capture/platform/MachPortSpace.h"

namespace ml::crash {
namespace {

using namespace mach;

// A receive port with one send right of the test's; destroyed at the end.
class TestPort {
 public:
  TestPort() {
    EXPECT_EQ(tl_mach_port_allocate_receive(&name_), KERN_SUCCESS);
    EXPECT_EQ(tl_mach_port_insert_send_right(name_), KERN_SUCCESS);
  }
  ~TestPort() {
    uint32_t refs = 0;
    if (tl_mach_port_get_send_refs(name_, &refs) == KERN_SUCCESS && refs > 0) {
      tl_mach_port_mod_send_refs(name_, -static_cast<int32_t>(refs));
    }
    tl_mach_port_destroy(name_);
  }
  mach_port_t name() const { return name_; }
  uint32_t refs() const {
    uint32_t refs = 0;
    tl_mach_port_get_send_refs(name_, &refs);
    return refs;
  }

 private:
  mach_port_t name_ = MACH_PORT_NULL;
};

// Clears the task's table for every type, dropping the references handed out with the old ports.
void clearTaskTable() {
  tl_exception_ports_out old;
  ASSERT_EQ(tl_task_swap_exception_ports(::getpid(), EXC_MASK_ALL, MACH_PORT_NULL, EXCEPTION_DEFAULT, 0, &old),
            KERN_SUCCESS);
  for (uint32_t i = 0; i < old.count; ++i) {
    if (MACH_PORT_VALID(old.ports[i])) tl_mach_port_mod_send_refs(old.ports[i], -1);
  }
}

class ExceptionPorts : public testing::Test {
 protected:
  void SetUp() override { clearTaskTable(); }
  void TearDown() override { clearTaskTable(); }
};

TEST_F(ExceptionPorts, GetCollapsesTypesThatShareARegistration) {
  TestPort a, b;
  const pid_t self = ::getpid();
  ASSERT_EQ(tl_task_set_exception_ports(self, EXC_MASK_BAD_ACCESS | EXC_MASK_ARITHMETIC, a.name(),
                                        EXCEPTION_DEFAULT | MACH_EXCEPTION_CODES, x86_THREAD_STATE),
            KERN_SUCCESS);
  ASSERT_EQ(tl_task_set_exception_ports(self, EXC_MASK_BREAKPOINT, b.name(), EXCEPTION_DEFAULT, x86_THREAD_STATE),
            KERN_SUCCESS);

  tl_exception_ports_out out;
  ASSERT_EQ(tl_task_get_exception_ports(self, EXC_MASK_BAD_ACCESS | EXC_MASK_ARITHMETIC | EXC_MASK_BREAKPOINT |
                                                  EXC_MASK_SOFTWARE,
                                        &out),
            KERN_SUCCESS);
  ASSERT_EQ(out.count, 3u);  // a (two types), the empty software entry, b
  EXPECT_EQ(out.masks[0], EXC_MASK_BAD_ACCESS | EXC_MASK_ARITHMETIC);
  EXPECT_EQ(out.ports[0], a.name());
  EXPECT_EQ(out.behaviors[0], EXCEPTION_DEFAULT | MACH_EXCEPTION_CODES);
  EXPECT_EQ(out.masks[1], EXC_MASK_SOFTWARE);
  EXPECT_EQ(out.ports[1], MACH_PORT_NULL);
  EXPECT_EQ(out.masks[2], EXC_MASK_BREAKPOINT);
  EXPECT_EQ(out.ports[2], b.name());
  // Each returned port came with a reference of the caller's.
  EXPECT_EQ(a.refs(), 2u);
  EXPECT_EQ(b.refs(), 2u);
  tl_mach_port_mod_send_refs(a.name(), -1);
  tl_mach_port_mod_send_refs(b.name(), -1);
}

TEST_F(ExceptionPorts, SwapInstallsTheNewRegistrationAndHandsBackTheOldOnes) {
  TestPort first, second;
  const pid_t self = ::getpid();
  ASSERT_EQ(tl_task_set_exception_ports(self, EXC_MASK_BAD_ACCESS, first.name(), EXCEPTION_DEFAULT, x86_THREAD_STATE),
            KERN_SUCCESS);

  tl_exception_ports_out old;
  ASSERT_EQ(tl_task_swap_exception_ports(self, EXC_MASK_BAD_ACCESS | EXC_MASK_BAD_INSTRUCTION, second.name(),
                                         EXCEPTION_STATE_IDENTITY, x86_THREAD_STATE64, &old),
            KERN_SUCCESS);
  ASSERT_EQ(old.count, 2u);
  EXPECT_EQ(old.ports[0], first.name());
  EXPECT_EQ(old.masks[0], EXC_MASK_BAD_ACCESS);
  EXPECT_EQ(old.ports[1], MACH_PORT_NULL);
  EXPECT_EQ(old.masks[1], EXC_MASK_BAD_INSTRUCTION);
  tl_mach_port_mod_send_refs(first.name(), -1);

  tl_exception_port_entry offered[2];
  ASSERT_EQ(tl_exception_ports_for(tl_mach_thread_self(), EXC_BAD_INSTRUCTION, offered), 1u);
  EXPECT_EQ(offered[0].port, second.name());
  EXPECT_EQ(offered[0].behavior, EXCEPTION_STATE_IDENTITY);
  EXPECT_EQ(offered[0].flavor, x86_THREAD_STATE64);
}

TEST_F(ExceptionPorts, ThreadRegistrationIsOfferedBeforeTheTasks) {
  TestPort task_port, thread_port;
  const pid_t self = ::getpid();
  const tlcrash_thread_t thread = tl_mach_thread_self();
  ASSERT_EQ(tl_task_set_exception_ports(self, EXC_MASK_ARITHMETIC, task_port.name(), EXCEPTION_DEFAULT, 0),
            KERN_SUCCESS);
  ASSERT_EQ(tl_thread_set_exception_ports(thread, EXC_MASK_ARITHMETIC, thread_port.name(), EXCEPTION_DEFAULT, 0),
            KERN_SUCCESS);

  tl_exception_port_entry offered[2];
  ASSERT_EQ(tl_exception_ports_for(thread, EXC_ARITHMETIC, offered), 2u);
  EXPECT_EQ(offered[0].port, thread_port.name());
  EXPECT_EQ(offered[1].port, task_port.name());

  tl_exception_ports_out old;
  ASSERT_EQ(tl_thread_swap_exception_ports(thread, EXC_MASK_ARITHMETIC, MACH_PORT_NULL, EXCEPTION_DEFAULT, 0, &old),
            KERN_SUCCESS);
  ASSERT_EQ(old.count, 1u);
  EXPECT_EQ(old.ports[0], thread_port.name());
  tl_mach_port_mod_send_refs(thread_port.name(), -1);
  EXPECT_EQ(tl_exception_ports_for(thread, EXC_ARITHMETIC, offered), 1u);
}

TEST_F(ExceptionPorts, TableKeepsADestroyedPortAsADeadName) {
  const pid_t self = ::getpid();
  mach_port_t port;
  ASSERT_EQ(tl_mach_port_allocate_receive(&port), KERN_SUCCESS);
  ASSERT_EQ(tl_mach_port_insert_send_right(port), KERN_SUCCESS);
  ASSERT_EQ(tl_task_set_exception_ports(self, EXC_MASK_SOFTWARE, port, EXCEPTION_DEFAULT, 0), KERN_SUCCESS);
  tl_mach_port_mod_send_refs(port, -1);  // only the table's right is left
  ASSERT_EQ(tl_mach_port_destroy(port), KERN_SUCCESS);
  EXPECT_TRUE(tl_mach_port_is_dead(port));

  tl_exception_ports_out out;
  ASSERT_EQ(tl_task_get_exception_ports(self, EXC_MASK_SOFTWARE, &out), KERN_SUCCESS);
  ASSERT_EQ(out.count, 1u);
  EXPECT_EQ(out.ports[0], MACH_PORT_DEAD);

  // A raise at a dead port fails at the send.
  const mach_exception_data_type_t codes[2] = {EXC_UNIX_ABORT, 0};
  EXPECT_EQ(tl_mach_exception_raise(port, tl_mach_thread_self(), self, EXC_SOFTWARE, codes, 2),
            MACH_SEND_INVALID_DEST);

  clearTaskTable();  // the table's right goes, and the dead name with it
  uint32_t refs;
  EXPECT_EQ(tl_mach_port_get_send_refs(port, &refs), KERN_INVALID_NAME);
}

TEST_F(ExceptionPorts, InvalidRequestsAreRefused) {
  TestPort port;
  const pid_t self = ::getpid();
  EXPECT_EQ(tl_task_set_exception_ports(self + 100000, EXC_MASK_BAD_ACCESS, port.name(), EXCEPTION_DEFAULT, 0),
            KERN_INVALID_ARGUMENT);
  EXPECT_EQ(tl_task_set_exception_ports(self, 1u << 20, port.name(), EXCEPTION_DEFAULT, 0), KERN_INVALID_ARGUMENT);
  EXPECT_EQ(tl_task_set_exception_ports(self, EXC_MASK_BAD_ACCESS, port.name(), 9, 0), KERN_INVALID_ARGUMENT);
  EXPECT_EQ(tl_task_set_exception_ports(self, EXC_MASK_BAD_ACCESS, port.name(), EXCEPTION_STATE, 99),
            KERN_INVALID_ARGUMENT);
  EXPECT_EQ(tl_task_set_exception_ports(self, EXC_MASK_BAD_ACCESS, 0x7f03, EXCEPTION_DEFAULT, 0), KERN_INVALID_NAME);
  EXPECT_EQ(tl_thread_set_exception_ports(0, EXC_MASK_BAD_ACCESS, port.name(), EXCEPTION_DEFAULT, 0),
            KERN_INVALID_ARGUMENT);
}

TEST_F(ExceptionPorts, FaultRelayIsInstalledExactlyWhileAPortIsRegistered) {
  struct sigaction before{};
  ::sigaction(SIGSEGV, nullptr, &before);
  EXPECT_FALSE(tl_fault_relay_active());
  {
    TestPort port;
    ASSERT_EQ(tl_task_set_exception_ports(::getpid(), EXC_MASK_BAD_ACCESS, port.name(), EXCEPTION_DEFAULT, 0),
              KERN_SUCCESS);
    EXPECT_TRUE(tl_fault_relay_active());
    clearTaskTable();
  }
  EXPECT_FALSE(tl_fault_relay_active());
  struct sigaction after{};
  ::sigaction(SIGSEGV, nullptr, &after);
  EXPECT_EQ(after.sa_sigaction, before.sa_sigaction) << "the earlier action is back";
}

TEST_F(ExceptionPorts, PortSetFromTheKernelsAnswerKeepsOneReferencePerPort) {
  TestPort port;
  const pid_t self = ::getpid();
  ASSERT_EQ(tl_task_set_exception_ports(self, EXC_MASK_BAD_ACCESS | EXC_MASK_BREAKPOINT, port.name(),
                                        EXCEPTION_DEFAULT, x86_THREAD_STATE),
            KERN_SUCCESS);
  {
    auto set = TLCrashMachExceptionPort::exceptionPortsForTask(self, EXC_MASK_BAD_ACCESS | EXC_MASK_BREAKPOINT);
    ASSERT_TRUE(set.ok());
    const tlcrash_mach_exception_port_set& fixed = set.value()->asyncSafeRepresentation();
    ASSERT_EQ(fixed.count, 1u);
    EXPECT_EQ(fixed.ports[0], port.name());
    EXPECT_EQ(fixed.masks[0], EXC_MASK_BAD_ACCESS | EXC_MASK_BREAKPOINT);
    ASSERT_EQ(set.value()->set().size(), 1u);
    EXPECT_EQ(port.refs(), 2u) << "the test's reference and the port object's";
  }
  EXPECT_EQ(port.refs(), 1u) << "the port object's reference went with it";
}

TEST_F(ExceptionPorts, RegisteringForTheTaskFillsThePreviousPortSet) {
  TestPort earlier, ours;
  const pid_t self = ::getpid();
  ASSERT_EQ(tl_task_set_exception_ports(self, EXC_MASK_BAD_ACCESS, earlier.name(), EXCEPTION_DEFAULT, 0),
            KERN_SUCCESS);
  TLCrashMachExceptionPort registration(ours.name(), EXC_MASK_BAD_ACCESS | EXC_MASK_ARITHMETIC,
                                        EXCEPTION_DEFAULT | MACH_EXCEPTION_CODES, x86_THREAD_STATE);
  std::shared_ptr<TLCrashMachExceptionPortSet> previous;
  ASSERT_TRUE(registration.registerForTask(self, &previous).ok());
  ASSERT_NE(previous, nullptr);
  const auto& fixed = previous->asyncSafeRepresentation();
  ASSERT_EQ(fixed.count, 2u);
  EXPECT_EQ(fixed.ports[0], earlier.name());
  EXPECT_EQ(fixed.ports[1], MACH_PORT_NULL);
  EXPECT_EQ(earlier.refs(), 2u);

  EXPECT_FALSE(registration.registerForTask(self + 100000, nullptr).ok());
  auto failed = registration.registerForTask(self + 100000, nullptr);
  EXPECT_EQ(failed.error().description, "Failed to swap mach exception ports");
  EXPECT_EQ(failed.error().code, TLCrashReporterErrorOperatingSystem);
  EXPECT_EQ(failed.error().underlyingDomain, TLCrashUnderlyingErrorDomain::kMach);
}

TEST(MachPorts, NoSendersNotificationArrivesWhenTheLastSendRightGoes) {
  mach_port_t port, notify;
  ASSERT_EQ(tl_mach_port_allocate_receive(&port), KERN_SUCCESS);
  ASSERT_EQ(tl_mach_port_allocate_receive(&notify), KERN_SUCCESS);
  ASSERT_EQ(tl_mach_port_insert_send_right(port), KERN_SUCCESS);
  ASSERT_EQ(tl_mach_port_request_no_senders(port, notify), KERN_SUCCESS);
  ASSERT_EQ(tl_mach_port_mod_send_refs(port, -1), KERN_SUCCESS);

  alignas(8) uint8_t buffer[256];
  uint32_t size = 0;
  ASSERT_EQ(tl_mach_msg_receive(notify, buffer, sizeof(buffer), &size, kNoWait), MACH_MSG_SUCCESS);
  mach_msg_header_t header;
  std::memcpy(&header, buffer, sizeof(header));
  EXPECT_EQ(header.id, MACH_NOTIFY_NO_SENDERS);
  EXPECT_EQ(header.local_port, notify);
  EXPECT_EQ(tl_mach_msg_receive(notify, buffer, sizeof(buffer), &size, kNoWait), MACH_RCV_TIMED_OUT)
      << "one notification per request";
  tl_mach_port_destroy(port);
  tl_mach_port_destroy(notify);
}

TEST(MachPorts, ReceiveKeepsAMessageThatDoesNotFitAndReportsItsSize) {
  mach_port_t port;
  ASSERT_EQ(tl_mach_port_allocate_receive(&port), KERN_SUCCESS);
  alignas(8) uint8_t message[200] = {};
  mach_msg_header_t header{};
  header.bits = MACH_MSGH_BITS(MACH_MSG_TYPE_COPY_SEND, 0);
  header.remote_port = port;
  header.id = 1234;
  std::memcpy(message, &header, sizeof(header));
  ASSERT_EQ(tl_mach_msg_send(message, sizeof(message), kNoWait), MACH_MSG_SUCCESS);

  alignas(8) uint8_t small[64];
  uint32_t size = 0;
  EXPECT_EQ(tl_mach_msg_receive(port, small, sizeof(small), &size, kNoWait), MACH_RCV_TOO_LARGE);
  EXPECT_EQ(size, sizeof(message));
  alignas(8) uint8_t large[256];
  ASSERT_EQ(tl_mach_msg_receive(port, large, sizeof(large), &size, kNoWait), MACH_MSG_SUCCESS);
  std::memcpy(&header, large, sizeof(header));
  EXPECT_EQ(header.id, 1234);
  EXPECT_EQ(header.size, sizeof(message));
  tl_mach_port_destroy(port);
}

TEST(MachPorts, RequestToAPortNobodyAnswersTimesOut) {
  mach_port_t port;
  ASSERT_EQ(tl_mach_port_allocate_receive(&port), KERN_SUCCESS);
  const mach_exception_data_type_t codes[2] = {1, 0};
  EXPECT_EQ(tl_mach_exception_raise(port, tl_mach_thread_self(), ::getpid(), EXC_BAD_ACCESS, codes, 2,
                                    50 * 1000 * 1000),
            MACH_RCV_TIMED_OUT);
  EXPECT_EQ(tl_mach_exception_raise(port, tl_mach_thread_self(), ::getpid(), EXC_BAD_ACCESS, codes, 3),
            MIG_ARRAY_TOO_LARGE)
      << "more than two codes are refused before sending";
  tl_mach_port_destroy(port);
}

}  // namespace
}  // namespace ml::crash
