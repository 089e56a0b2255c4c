#pragma once
// The exception-port tables of the task and of its threads: for each exception type, the port
// that is told when a thread raises it, with the behaviour (which message) and the thread-state
// flavour. Each entry holds a kernel send right of its port (MachPortSpace.h). Setting, reading
// and swapping follow the original kernel calls:
//
//   - set: every type in the mask gets (port, behaviour, flavour); the old entries' rights go.
//   - get: the entries of the types in the mask, collapsed: types whose (port, behaviour,
//     flavour) are equal share one returned entry whose mask holds all their bits. Empty (null)
//     entries are returned too. Each returned live port carries a new user reference for the
//     caller; a port destroyed since is returned as MACH_PORT_DEAD.
//   - swap: get and set in one step; the old registrations are the caller's afterwards.
//
// A thread raising exception type T is offered to its thread's entry for T, then to the task's:
// the first handler that answers KERN_SUCCESS ends the exception (FaultRelay.h). While any entry
// of any table names a port, the fault relay is installed on the hardware fault signals.
//
// Set, get and swap are normal-context calls under one lock. Looking an entry up is
// async-signal-safe: tables are read under a sequence counter, retried when a writer interferes.
#include <cstdint>

#include "crashreporter/AsyncMemory.h"
#include "crashreporter/capture/platform/MachTypes.h"

namespace ml::crash::mach {

// Threads that may have tables of their own at once.
inline constexpr uint32_t kThreadTableCapacity = 64;

struct tl_exception_port_entry {
  mach_port_t port = MACH_PORT_NULL;
  exception_behavior_t behavior = 0;
  thread_state_flavor_t flavor = 0;
};

// Registrations as the get and swap calls return them; arrays of `capacity` (<= EXC_TYPES_COUNT)
// entries, of which the call fills `count`.
struct tl_exception_ports_out {
  uint32_t capacity = EXC_TYPES_COUNT;
  uint32_t count = 0;
  exception_mask_t masks[EXC_TYPES_COUNT] = {};
  mach_port_t ports[EXC_TYPES_COUNT] = {};
  exception_behavior_t behaviors[EXC_TYPES_COUNT] = {};
  thread_state_flavor_t flavors[EXC_TYPES_COUNT] = {};
};

// KERN_INVALID_ARGUMENT for another task, a mask outside EXC_MASK_ALL, an unknown behaviour, or a
// state behaviour with a flavour that is not served; KERN_INVALID_NAME / KERN_INVALID_RIGHT when
// `port` is not a live port of this task.
kern_return_t tl_task_set_exception_ports(tlcrash_task_t task, exception_mask_t mask, mach_port_t port,
                                          exception_behavior_t behavior, thread_state_flavor_t flavor);
kern_return_t tl_task_get_exception_ports(tlcrash_task_t task, exception_mask_t mask, tl_exception_ports_out* out);
kern_return_t tl_task_swap_exception_ports(tlcrash_task_t task, exception_mask_t mask, mach_port_t port,
                                           exception_behavior_t behavior, thread_state_flavor_t flavor,
                                           tl_exception_ports_out* old);

// The same for one thread (a thread id of this process). KERN_RESOURCE_SHORTAGE when
// kThreadTableCapacity threads already have tables.
kern_return_t tl_thread_set_exception_ports(tlcrash_thread_t thread, exception_mask_t mask, mach_port_t port,
                                            exception_behavior_t behavior, thread_state_flavor_t flavor);
kern_return_t tl_thread_get_exception_ports(tlcrash_thread_t thread, exception_mask_t mask,
                                            tl_exception_ports_out* out);
kern_return_t tl_thread_swap_exception_ports(tlcrash_thread_t thread, exception_mask_t mask, mach_port_t port,
                                             exception_behavior_t behavior, thread_state_flavor_t flavor,
                                             tl_exception_ports_out* old);

// The registrations a thread raising `type` is offered to, in order: the thread's entry, then the
// task's (entries with no valid port are left out). Returns how many were stored (0 to 2).
// Async-signal-safe.
uint32_t tl_exception_ports_for(tlcrash_thread_t thread, exception_type_t type, tl_exception_port_entry out[2]);

}  // namespace ml::crash::mach
