#pragma once
// The in-process emulation of Mach ports and messages that the exception machinery runs on: a
// fixed table of port names (receive ports, port sets, dead names), bounded message queues,
// send-once reply ports for request/reply calls, send-right reference counts with the no-senders
// notification.
//
// Only this task exists, so every port's receive right lives here and every send right is one
// of ours; what the kernel holds (the exception-port tables, ExceptionPorts.h) is counted apart
// from the task's user references, as on the original platform: a table entry keeps the port
// alive without showing up in the task's reference count.
//
// Messages keep the original wire layout: a 24-byte header (bits, size, remote port, local port,
// voucher, id) and the body. On delivery the header is turned round as the kernel does: the
// receiver sees the destination as its local port and the sender's reply port as its remote port.
//
// Contexts: allocation, rights and membership changes are normal-context operations under one
// lock. Sending, receiving and the request/reply call are async-signal-safe (fixed tables,
// atomics, futex waits; no allocation, no locks), so a fault handler and the exception server
// can use them at crash time.
#include <cstddef>
#include <cstdint>

#include "crashreporter/capture/platform/MachTypes.h"

namespace ml::crash::mach {

struct mach_msg_header_t {
  uint32_t bits;
  uint32_t size;
  mach_port_t remote_port;
  mach_port_t local_port;
  uint32_t voucher_port;
  int32_t id;
};
static_assert(sizeof(mach_msg_header_t) == 24);

// The largest message the queues carry: an exception request with identity, two codes and a
// full thread state fits.
inline constexpr uint32_t kMaxMessageSize = 2688;
// Ports and port sets together; each exception server uses three.
inline constexpr uint32_t kPortCapacity = 32;
// Messages waiting on one port or port set.
inline constexpr uint32_t kQueueCapacity = 4;
// Request/reply calls in flight at once.
inline constexpr uint32_t kReplyPortCapacity = 32;
// Waits: none at all, or without end.
inline constexpr uint64_t kNoWait = 0;
inline constexpr uint64_t kWaitForever = UINT64_MAX;

// --- Normal context ---------------------------------------------------------------------------

// A new port with its receive right (no send rights yet).
kern_return_t tl_mach_port_allocate_receive(mach_port_t* name);
// A new, empty port set.
kern_return_t tl_mach_port_allocate_set(mach_port_t* name);
// Moves a receive port into a set (MACH_PORT_NULL as the set takes it out): its messages are
// then received through the set.
kern_return_t tl_mach_port_move_member(mach_port_t member, mach_port_t set);
// Makes a send right from the receive right: one more user reference (MACH_MSG_TYPE_MAKE_SEND).
kern_return_t tl_mach_port_insert_send_right(mach_port_t name);
// Adds `delta` user references to the send right of `name` (a live port or a dead name).
// KERN_INVALID_NAME for an unknown name, KERN_INVALID_VALUE when the count would go below 0,
// KERN_UREFS_OVERFLOW past 0xFFFF. A dead name whose last reference goes is freed.
kern_return_t tl_mach_port_mod_send_refs(mach_port_t name, int32_t delta);
// User references of the send right of `name`, for tests and diagnostics.
kern_return_t tl_mach_port_get_send_refs(mach_port_t name, uint32_t* refs);
// Asks for one MACH_NOTIFY_NO_SENDERS message on `notify` when the last send right of `name`
// (user or kernel held) goes away.
kern_return_t tl_mach_port_request_no_senders(mach_port_t name, mach_port_t notify);
// Destroys a port's receive right (or a port set): queued messages are dropped, and remaining
// send rights become a dead name. Waiting receivers return MACH_RCV_PORT_DIED.
kern_return_t tl_mach_port_destroy(mach_port_t name);

// Kernel-held send rights (the exception-port tables): `delta` references of `name`.
// KERN_INVALID_NAME when `name` is neither a live port nor a dead name.
kern_return_t tl_mach_port_kernel_send_refs(mach_port_t name, int32_t delta);
// Whether `name` is a dead name (its port was destroyed). For copying names out.
bool tl_mach_port_is_dead(mach_port_t name);

// --- Async-signal-safe ------------------------------------------------------------------------

// Sends the message (`size` bytes, header first) to its header's remote port; a header local
// port is passed on as the receiver's reply port. Waits at most `timeout_ns` for queue room.
// MACH_SEND_INVALID_DEST for a destination that is not a live port or a waiting reply port,
// MACH_SEND_TOO_LARGE above kMaxMessageSize, MACH_SEND_TIMED_OUT when the queue stayed full.
kern_return_t tl_mach_msg_send(const void* message, uint32_t size, uint64_t timeout_ns);

// Receives the oldest message of a port or port set into `buffer`. MACH_RCV_TOO_LARGE when it
// does not fit (the message stays queued and `*size` tells its size), MACH_RCV_TIMED_OUT,
// MACH_RCV_INVALID_NAME, MACH_RCV_PORT_DIED when the port is destroyed while waiting. On
// success `*size` is the message's size.
kern_return_t tl_mach_msg_receive(mach_port_t name, void* buffer, uint32_t capacity, uint32_t* size,
                                  uint64_t timeout_ns);

// A request/reply call: takes a send-once reply port, names it as the request's local port,
// sends, and waits at most `timeout_ns` in all for the reply. MACH_RCV_TIMED_OUT when no reply
// came (a late reply is then discarded), MACH_RCV_PORT_DIED when the request was destroyed with
// its port before anyone answered, MACH_RCV_TOO_LARGE when it exceeds `reply_capacity`,
// MACH_SEND_NO_BUFFER when every reply port is in use, or the send's failure.
kern_return_t tl_mach_msg_rpc(void* request, uint32_t request_size, void* reply, uint32_t reply_capacity,
                              uint32_t* reply_size, uint64_t timeout_ns);

}  // namespace ml::crash::mach
