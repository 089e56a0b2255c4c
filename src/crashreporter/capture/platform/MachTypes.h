#pragma once
// The vocabulary of the Mach exception machinery that the capture paths are written against:
// return codes, port names, exception types, masks, behaviours and thread-state flavours, with
// the numbers the original platform gives them (reports and forwarded messages carry these
// numbers, so they must not drift). On Linux they are served by the in-process emulation in this
// folder (MachPortSpace, ExceptionPorts, FaultRelay).
#include <cstdint>

namespace ml::crash::mach {

using kern_return_t = int32_t;
using mach_port_t = uint32_t;  // a port name in this task's name space
using exception_type_t = int32_t;
using exception_mask_t = uint32_t;
using exception_behavior_t = int32_t;
using thread_state_flavor_t = int32_t;
using mach_exception_data_type_t = int64_t;
using exception_data_type_t = int32_t;

inline constexpr kern_return_t KERN_SUCCESS = 0;
inline constexpr kern_return_t KERN_INVALID_ADDRESS = 1;
inline constexpr kern_return_t KERN_PROTECTION_FAILURE = 2;
inline constexpr kern_return_t KERN_NO_SPACE = 3;
inline constexpr kern_return_t KERN_INVALID_ARGUMENT = 4;
inline constexpr kern_return_t KERN_FAILURE = 5;
inline constexpr kern_return_t KERN_RESOURCE_SHORTAGE = 6;
inline constexpr kern_return_t KERN_MEMORY_ERROR = 10;
inline constexpr kern_return_t KERN_INVALID_NAME = 15;
inline constexpr kern_return_t KERN_INVALID_TASK = 16;
inline constexpr kern_return_t KERN_INVALID_RIGHT = 17;
inline constexpr kern_return_t KERN_INVALID_VALUE = 18;
inline constexpr kern_return_t KERN_UREFS_OVERFLOW = 19;
inline constexpr kern_return_t KERN_OPERATION_TIMED_OUT = 49;

// Message-passing return codes.
inline constexpr kern_return_t MACH_MSG_SUCCESS = 0;
inline constexpr kern_return_t MACH_SEND_INVALID_DEST = 0x10000003;
inline constexpr kern_return_t MACH_SEND_TIMED_OUT = 0x10000004;
inline constexpr kern_return_t MACH_SEND_TOO_LARGE = 0x1000000a;
inline constexpr kern_return_t MACH_SEND_NO_BUFFER = 0x1000000d;
inline constexpr kern_return_t MACH_RCV_INVALID_NAME = 0x10004002;
inline constexpr kern_return_t MACH_RCV_TIMED_OUT = 0x10004003;
inline constexpr kern_return_t MACH_RCV_TOO_LARGE = 0x10004004;
inline constexpr kern_return_t MACH_RCV_PORT_DIED = 0x10004009;
// A request or reply whose arrays exceed what the routine accepts.
inline constexpr kern_return_t MIG_ARRAY_TOO_LARGE = -307;
inline constexpr kern_return_t MIG_REPLY_MISMATCH = -305;

inline constexpr mach_port_t MACH_PORT_NULL = 0;
inline constexpr mach_port_t MACH_PORT_DEAD = ~0u;
constexpr bool MACH_PORT_VALID(mach_port_t name) { return name != MACH_PORT_NULL && name != MACH_PORT_DEAD; }

// Exception types.
inline constexpr exception_type_t EXC_BAD_ACCESS = 1;
inline constexpr exception_type_t EXC_BAD_INSTRUCTION = 2;
inline constexpr exception_type_t EXC_ARITHMETIC = 3;
inline constexpr exception_type_t EXC_EMULATION = 4;
inline constexpr exception_type_t EXC_SOFTWARE = 5;
inline constexpr exception_type_t EXC_BREAKPOINT = 6;
inline constexpr exception_type_t EXC_SYSCALL = 7;
inline constexpr exception_type_t EXC_MACH_SYSCALL = 8;
inline constexpr exception_type_t EXC_RPC_ALERT = 9;
inline constexpr exception_type_t EXC_CRASH = 10;
inline constexpr exception_type_t EXC_RESOURCE = 11;
inline constexpr exception_type_t EXC_GUARD = 12;
inline constexpr exception_type_t EXC_CORPSE_NOTIFY = 13;
// Entries of an exception-port table and of a fixed port set.
inline constexpr uint32_t EXC_TYPES_COUNT = 14;

inline constexpr exception_mask_t EXC_MASK_BAD_ACCESS = 1u << EXC_BAD_ACCESS;
inline constexpr exception_mask_t EXC_MASK_BAD_INSTRUCTION = 1u << EXC_BAD_INSTRUCTION;
inline constexpr exception_mask_t EXC_MASK_ARITHMETIC = 1u << EXC_ARITHMETIC;
inline constexpr exception_mask_t EXC_MASK_EMULATION = 1u << EXC_EMULATION;
inline constexpr exception_mask_t EXC_MASK_SOFTWARE = 1u << EXC_SOFTWARE;
inline constexpr exception_mask_t EXC_MASK_BREAKPOINT = 1u << EXC_BREAKPOINT;
inline constexpr exception_mask_t EXC_MASK_CRASH = 1u << EXC_CRASH;
inline constexpr exception_mask_t EXC_MASK_GUARD = 1u << EXC_GUARD;
// Every type a table entry may carry (1 to 13).
inline constexpr exception_mask_t EXC_MASK_ALL = 0x3FFE;

// Codes of EXC_SOFTWARE.
inline constexpr int64_t EXC_UNIX_BAD_SYSCALL = 0x10000;
inline constexpr int64_t EXC_UNIX_BAD_PIPE = 0x10001;
inline constexpr int64_t EXC_UNIX_ABORT = 0x10002;
inline constexpr int64_t EXC_SOFT_SIGNAL = 0x10003;

// x86 codes of the hardware exceptions.
inline constexpr int64_t EXC_I386_INVOP = 1;      // EXC_BAD_INSTRUCTION
inline constexpr int64_t EXC_I386_DIV = 1;        // EXC_ARITHMETIC
inline constexpr int64_t EXC_I386_INTO = 2;
inline constexpr int64_t EXC_I386_SSEEXTERR = 8;
inline constexpr int64_t EXC_I386_SGL = 1;        // EXC_BREAKPOINT: single step
inline constexpr int64_t EXC_I386_BPT = 2;        // EXC_BREAKPOINT: int3
inline constexpr int64_t EXC_I386_GPFLT = 13;     // EXC_BAD_ACCESS: general protection
inline constexpr int64_t EXC_I386_ALIGNFLT = 17;  // EXC_BAD_ACCESS: alignment check

// Behaviours of an exception-port registration.
inline constexpr exception_behavior_t EXCEPTION_DEFAULT = 1;
inline constexpr exception_behavior_t EXCEPTION_STATE = 2;
inline constexpr exception_behavior_t EXCEPTION_STATE_IDENTITY = 3;
inline constexpr exception_behavior_t MACH_EXCEPTION_CODES = static_cast<exception_behavior_t>(0x80000000u);

// Thread-state flavours served here.
inline constexpr thread_state_flavor_t x86_THREAD_STATE64 = 4;
inline constexpr thread_state_flavor_t x86_THREAD_STATE = 7;  // tagged: flavor, count, then the 64-bit block
inline constexpr uint32_t x86_THREAD_STATE64_COUNT = 42;     // 32-bit words
inline constexpr uint32_t x86_THREAD_STATE_COUNT = 44;
// Largest thread state, in 32-bit words, that the exception routines carry.
inline constexpr uint32_t THREAD_STATE_MAX = 614;

// Message ids of the exception routines; a reply's id is the request's plus 100.
inline constexpr int32_t kExceptionRaiseId = 2401;
inline constexpr int32_t kExceptionRaiseStateId = 2402;
inline constexpr int32_t kExceptionRaiseStateIdentityId = 2403;
inline constexpr int32_t kMachExceptionRaiseId = 2405;
inline constexpr int32_t kMachExceptionRaiseStateId = 2406;
inline constexpr int32_t kMachExceptionRaiseStateIdentityId = 2407;
inline constexpr int32_t kReplyIdOffset = 100;
inline constexpr int32_t MACH_NOTIFY_NO_SENDERS = 70;
// Sent to a reply port whose request was destroyed before it was answered.
inline constexpr int32_t MACH_NOTIFY_SEND_ONCE = 71;

// Port-right dispositions in a message header's bits: remote | local << 8.
inline constexpr uint32_t MACH_MSG_TYPE_MOVE_SEND_ONCE = 18;
inline constexpr uint32_t MACH_MSG_TYPE_COPY_SEND = 19;
inline constexpr uint32_t MACH_MSG_TYPE_MAKE_SEND_ONCE = 21;
inline constexpr uint32_t MACH_MSGH_BITS_COMPLEX = 0x80000000u;
constexpr uint32_t MACH_MSGH_BITS(uint32_t remote, uint32_t local) { return remote | (local << 8); }

}  // namespace ml::crash::mach
