#include "crashreporter/capture/platform/MachPortSpace.h"

#include <atomic>
#include <mutex>

#include "crashreporter/AsyncString.h"
#include "crashreporter/capture/platform/Futex.h"

namespace ml::crash::mach {
namespace {

// --- Tables ----------------------------------------------------------------------------------
//
// Port names: ((index + 1) << 8) | generation byte, the generation moving on by 4 each time the
// entry is reused, so a stale name never reaches a newer port. Reply-port names carry bit 30:
// 0x40000000 | index << 20 | 20-bit generation.

enum : uint32_t { kFree = 0, kReceive = 1, kPortSet = 2, kDeadName = 3 };
enum : uint32_t { kSlotEmpty = 0, kSlotWriting = 1, kSlotFull = 2, kSlotReading = 3 };

constexpr uint32_t kUrefsMax = 0xFFFF;
constexpr uint32_t kFirstGeneration = 3;
constexpr uint32_t kReplyNameBit = 0x40000000u;
constexpr uint32_t kReplyGenerationMask = 0xFFFFF;
// Receivers re-check the port's life at least this often while they wait.
constexpr uint64_t kReceiveRecheckNs = kNanosPerSecond;
// Senders waiting for queue room poll at this interval.
constexpr uint64_t kSendPollNs = kNanosPerMilli;
// A replier that claimed a reply port finishes within this.
constexpr uint64_t kReplyGraceNs = 100 * kNanosPerMilli;

struct QueueSlot {
  std::atomic<uint32_t> state{kSlotEmpty};
  uint64_t ticket = 0;
  uint32_t size = 0;
  alignas(8) uint8_t bytes[kMaxMessageSize];
};

struct MessageQueue {
  std::atomic<uint32_t> seq{0};  // bumped on every arrival and on the port's death; receivers wait on it
  std::atomic<uint64_t> tickets{0};
  QueueSlot slots[kQueueCapacity];
};

struct PortEntry {
  std::atomic<uint32_t> name{0};  // 0: free
  std::atomic<uint32_t> kind{kFree};
  std::atomic<uint32_t> set{MACH_PORT_NULL};  // the set a receive port belongs to
  // Under g_lock only:
  uint32_t generation = kFirstGeneration;
  uint32_t user_refs = 0;
  uint32_t kernel_refs = 0;
  mach_port_t notify = MACH_PORT_NULL;  // no-senders request
  MessageQueue queue;
};

enum : uint32_t { kReplyFree = 0, kReplyWaiting = 1, kReplyWriting = 2, kReplied = 3, kReplyAbandoned = 4 };

struct ReplyPort {
  std::atomic<uint32_t> word{0};  // generation << 4 | phase; also the futex the caller waits on
  uint32_t size = 0;
  alignas(8) uint8_t bytes[kMaxMessageSize];
};

PortEntry g_ports[kPortCapacity];
ReplyPort g_replies[kReplyPortCapacity];
std::mutex g_lock;  // normal-context changes of g_ports

constexpr uint32_t replyWord(uint32_t generation, uint32_t phase) {
  return ((generation & kReplyGenerationMask) << 4) | phase;
}
constexpr uint32_t replyPhase(uint32_t word) { return word & 0xF; }
constexpr uint32_t replyGeneration(uint32_t word) { return word >> 4; }
constexpr mach_port_t replyName(uint32_t index, uint32_t generation) {
  return kReplyNameBit | (index << 20) | (generation & kReplyGenerationMask);
}
constexpr bool isReplyName(mach_port_t name) { return (name & kReplyNameBit) != 0 && name != MACH_PORT_DEAD; }

PortEntry* lookup(mach_port_t name) {
  if (!MACH_PORT_VALID(name) || isReplyName(name)) return nullptr;
  uint32_t index = (name >> 8) - 1;
  if (index >= kPortCapacity) return nullptr;
  PortEntry* entry = &g_ports[index];
  return entry->name.load(std::memory_order_acquire) == name ? entry : nullptr;
}

uint64_t deadlineAfter(uint64_t timeout_ns) {
  if (timeout_ns == kWaitForever) return UINT64_MAX;
  uint64_t now = tlcrash_async_monotonic_ns();
  return timeout_ns > UINT64_MAX - now ? UINT64_MAX : now + timeout_ns;
}

// Under g_lock.
kern_return_t allocate(uint32_t kind, mach_port_t* name) {
  for (uint32_t i = 0; i < kPortCapacity; ++i) {
    PortEntry& entry = g_ports[i];
    if (entry.name.load(std::memory_order_relaxed) != 0) continue;
    entry.kind.store(kind, std::memory_order_relaxed);
    entry.set.store(MACH_PORT_NULL, std::memory_order_relaxed);
    entry.user_refs = 0;
    entry.kernel_refs = 0;
    entry.notify = MACH_PORT_NULL;
    for (QueueSlot& slot : entry.queue.slots) slot.state.store(kSlotEmpty, std::memory_order_relaxed);
    mach_port_t fresh = ((i + 1) << 8) | (entry.generation & 0xFF);
    entry.name.store(fresh, std::memory_order_release);
    *name = fresh;
    return KERN_SUCCESS;
  }
  return KERN_NO_SPACE;
}

// Under g_lock: the entry's name goes back to the pool.
void release(PortEntry& entry) {
  entry.name.store(0, std::memory_order_release);
  entry.kind.store(kFree, std::memory_order_release);
  entry.set.store(MACH_PORT_NULL, std::memory_order_relaxed);
  entry.generation += 4;
  entry.queue.seq.fetch_add(1, std::memory_order_acq_rel);
  tlcrash_async_futex_wake(&entry.queue.seq);
}

// Under g_lock, after a send reference went: the dead name is freed with its last reference,
// and a live port whose last sender went tells its no-senders port.
void afterSendRefsDropped(PortEntry& entry) {
  if (entry.user_refs + entry.kernel_refs != 0) return;
  uint32_t kind = entry.kind.load(std::memory_order_relaxed);
  if (kind == kDeadName) {
    release(entry);
    return;
  }
  if (kind == kReceive && entry.notify != MACH_PORT_NULL) {
    struct {
      mach_msg_header_t header;
      uint64_t ndr;
      uint32_t not_count;
    } notification{};
    notification.header.bits = MACH_MSGH_BITS(MACH_MSG_TYPE_MOVE_SEND_ONCE, 0);
    notification.header.size = sizeof(notification);
    notification.header.remote_port = entry.notify;
    notification.header.id = MACH_NOTIFY_NO_SENDERS;
    entry.notify = MACH_PORT_NULL;  // one notification per request
    tl_mach_msg_send(&notification, sizeof(notification), kNoWait);
  }
}

// The header as the receiver sees it: the destination as its local port, the sender's reply
// port as its remote port, and the two dispositions swapped with them.
void turnHeader(mach_msg_header_t* header, mach_port_t destination, uint32_t size) {
  uint32_t remote_bits = header->bits & 0xFF;
  uint32_t local_bits = (header->bits >> 8) & 0xFF;
  header->bits = (header->bits & ~0xFFFFu) | MACH_MSGH_BITS(local_bits, remote_bits);
  header->remote_port = header->local_port;
  header->local_port = destination;
  header->size = size;
}

kern_return_t deliverReply(mach_port_t name, const void* message, uint32_t size) {
  uint32_t index = (name >> 20) & 0x3FF;
  if (index >= kReplyPortCapacity) return MACH_SEND_INVALID_DEST;
  ReplyPort& port = g_replies[index];
  const uint32_t generation = name & kReplyGenerationMask;
  uint32_t expected = replyWord(generation, kReplyWaiting);
  if (!port.word.compare_exchange_strong(expected, replyWord(generation, kReplyWriting), std::memory_order_acq_rel)) {
    // The caller gave up: the first reply after that gives the port back.
    uint32_t abandoned = replyWord(generation, kReplyAbandoned);
    port.word.compare_exchange_strong(abandoned, replyWord(generation, kReplyFree), std::memory_order_acq_rel);
    return MACH_SEND_INVALID_DEST;
  }
  tlcrash_async_memcpy(port.bytes, message, size);
  turnHeader(reinterpret_cast<mach_msg_header_t*>(port.bytes), name, size);
  port.size = size;
  port.word.store(replyWord(generation, kReplied), std::memory_order_release);
  tlcrash_async_futex_wake(&port.word);
  return MACH_MSG_SUCCESS;
}

// A queued message dies with its port: its reply port is told (a send-once notification), so a
// caller waiting on it learns at once, and a reply port whose caller gave up is given back.
void dropQueued(MessageQueue& queue) {
  for (QueueSlot& slot : queue.slots) {
    if (slot.state.load(std::memory_order_acquire) == kSlotFull) {
      mach_msg_header_t header;
      tlcrash_async_memcpy(&header, slot.bytes, sizeof(header));
      if (isReplyName(header.remote_port)) {
        mach_msg_header_t notification{};
        notification.size = sizeof(notification);
        notification.remote_port = header.remote_port;
        notification.id = MACH_NOTIFY_SEND_ONCE;
        deliverReply(header.remote_port, &notification, sizeof(notification));
      }
    }
    slot.state.store(kSlotEmpty, std::memory_order_release);
  }
}

}  // namespace

kern_return_t tl_mach_port_allocate_receive(mach_port_t* name) {
  std::lock_guard<std::mutex> lock(g_lock);
  return allocate(kReceive, name);
}

kern_return_t tl_mach_port_allocate_set(mach_port_t* name) {
  std::lock_guard<std::mutex> lock(g_lock);
  return allocate(kPortSet, name);
}

kern_return_t tl_mach_port_move_member(mach_port_t member, mach_port_t set) {
  std::lock_guard<std::mutex> lock(g_lock);
  PortEntry* port = lookup(member);
  if (port == nullptr) return KERN_INVALID_NAME;
  if (port->kind.load(std::memory_order_relaxed) != kReceive) return KERN_INVALID_RIGHT;
  if (set != MACH_PORT_NULL) {
    PortEntry* target = lookup(set);
    if (target == nullptr) return KERN_INVALID_NAME;
    if (target->kind.load(std::memory_order_relaxed) != kPortSet) return KERN_INVALID_RIGHT;
  }
  port->set.store(set, std::memory_order_release);
  return KERN_SUCCESS;
}

kern_return_t tl_mach_port_insert_send_right(mach_port_t name) {
  std::lock_guard<std::mutex> lock(g_lock);
  PortEntry* port = lookup(name);
  if (port == nullptr) return KERN_INVALID_NAME;
  if (port->kind.load(std::memory_order_relaxed) != kReceive) return KERN_INVALID_RIGHT;
  if (port->user_refs >= kUrefsMax) return KERN_UREFS_OVERFLOW;
  ++port->user_refs;
  return KERN_SUCCESS;
}

kern_return_t tl_mach_port_mod_send_refs(mach_port_t name, int32_t delta) {
  std::lock_guard<std::mutex> lock(g_lock);
  PortEntry* port = lookup(name);
  if (port == nullptr) return KERN_INVALID_NAME;
  uint32_t kind = port->kind.load(std::memory_order_relaxed);
  if (kind != kReceive && kind != kDeadName) return KERN_INVALID_RIGHT;
  int64_t next = static_cast<int64_t>(port->user_refs) + delta;
  if (next < 0) return KERN_INVALID_VALUE;
  if (next > kUrefsMax) return KERN_UREFS_OVERFLOW;
  port->user_refs = static_cast<uint32_t>(next);
  if (delta < 0) afterSendRefsDropped(*port);
  return KERN_SUCCESS;
}

kern_return_t tl_mach_port_get_send_refs(mach_port_t name, uint32_t* refs) {
  std::lock_guard<std::mutex> lock(g_lock);
  PortEntry* port = lookup(name);
  if (port == nullptr) return KERN_INVALID_NAME;
  *refs = port->user_refs;
  return KERN_SUCCESS;
}

kern_return_t tl_mach_port_request_no_senders(mach_port_t name, mach_port_t notify) {
  std::lock_guard<std::mutex> lock(g_lock);
  PortEntry* port = lookup(name);
  if (port == nullptr) return KERN_INVALID_NAME;
  if (port->kind.load(std::memory_order_relaxed) != kReceive) return KERN_INVALID_RIGHT;
  if (notify != MACH_PORT_NULL && lookup(notify) == nullptr) return KERN_INVALID_NAME;
  port->notify = notify;
  return KERN_SUCCESS;
}

kern_return_t tl_mach_port_destroy(mach_port_t name) {
  std::lock_guard<std::mutex> lock(g_lock);
  PortEntry* port = lookup(name);
  if (port == nullptr) return KERN_INVALID_NAME;
  uint32_t kind = port->kind.load(std::memory_order_relaxed);
  if (kind == kPortSet) {
    dropQueued(port->queue);
    for (PortEntry& member : g_ports) {
      if (member.set.load(std::memory_order_relaxed) == name) member.set.store(MACH_PORT_NULL, std::memory_order_release);
    }
    release(*port);
    return KERN_SUCCESS;
  }
  if (kind != kReceive) return KERN_INVALID_RIGHT;
  dropQueued(port->queue);
  port->notify = MACH_PORT_NULL;
  port->set.store(MACH_PORT_NULL, std::memory_order_release);
  if (port->user_refs + port->kernel_refs == 0) {
    release(*port);
  } else {
    port->kind.store(kDeadName, std::memory_order_release);
    port->queue.seq.fetch_add(1, std::memory_order_acq_rel);
    tlcrash_async_futex_wake(&port->queue.seq);
  }
  return KERN_SUCCESS;
}

kern_return_t tl_mach_port_kernel_send_refs(mach_port_t name, int32_t delta) {
  std::lock_guard<std::mutex> lock(g_lock);
  PortEntry* port = lookup(name);
  if (port == nullptr) return KERN_INVALID_NAME;
  uint32_t kind = port->kind.load(std::memory_order_relaxed);
  if (kind != kReceive && kind != kDeadName) return KERN_INVALID_RIGHT;
  int64_t next = static_cast<int64_t>(port->kernel_refs) + delta;
  if (next < 0) return KERN_INVALID_VALUE;
  port->kernel_refs = static_cast<uint32_t>(next);
  if (delta < 0) afterSendRefsDropped(*port);
  return KERN_SUCCESS;
}

bool tl_mach_port_is_dead(mach_port_t name) {
  PortEntry* port = lookup(name);
  return port != nullptr && port->kind.load(std::memory_order_acquire) == kDeadName;
}

kern_return_t tl_mach_msg_send(const void* message, uint32_t size, uint64_t timeout_ns) {
  if (size < sizeof(mach_msg_header_t)) return MACH_SEND_INVALID_DEST;
  if (size > kMaxMessageSize) return MACH_SEND_TOO_LARGE;
  mach_msg_header_t header;
  tlcrash_async_memcpy(&header, message, sizeof(header));
  const mach_port_t destination = header.remote_port;
  if (isReplyName(destination)) return deliverReply(destination, message, size);

  PortEntry* port = lookup(destination);
  if (port == nullptr || port->kind.load(std::memory_order_acquire) != kReceive) return MACH_SEND_INVALID_DEST;
  MessageQueue* queue = &port->queue;
  if (PortEntry* set = lookup(port->set.load(std::memory_order_acquire)); set != nullptr) queue = &set->queue;

  const uint64_t deadline = deadlineAfter(timeout_ns);
  for (;;) {
    for (QueueSlot& slot : queue->slots) {
      uint32_t empty = kSlotEmpty;
      if (!slot.state.compare_exchange_strong(empty, kSlotWriting, std::memory_order_acq_rel)) continue;
      tlcrash_async_memcpy(slot.bytes, message, size);
      turnHeader(reinterpret_cast<mach_msg_header_t*>(slot.bytes), destination, size);
      slot.size = size;
      slot.ticket = queue->tickets.fetch_add(1, std::memory_order_relaxed);
      slot.state.store(kSlotFull, std::memory_order_release);
      queue->seq.fetch_add(1, std::memory_order_acq_rel);
      tlcrash_async_futex_wake(&queue->seq);
      return MACH_MSG_SUCCESS;
    }
    if (tlcrash_async_monotonic_ns() >= deadline) return MACH_SEND_TIMED_OUT;
    tlcrash_async_sleep_ns(kSendPollNs);
    if (port->name.load(std::memory_order_acquire) != destination ||
        port->kind.load(std::memory_order_acquire) != kReceive) {
      return MACH_SEND_INVALID_DEST;
    }
  }
}

kern_return_t tl_mach_msg_receive(mach_port_t name, void* buffer, uint32_t capacity, uint32_t* size,
                                  uint64_t timeout_ns) {
  PortEntry* port = lookup(name);
  if (port == nullptr) return MACH_RCV_INVALID_NAME;
  const uint32_t kind = port->kind.load(std::memory_order_acquire);
  if (kind != kReceive && kind != kPortSet) return MACH_RCV_INVALID_NAME;
  MessageQueue& queue = port->queue;
  const uint64_t deadline = deadlineAfter(timeout_ns);
  for (;;) {
    const uint32_t seq = queue.seq.load(std::memory_order_acquire);
    if (port->name.load(std::memory_order_acquire) != name || port->kind.load(std::memory_order_acquire) != kind) {
      return MACH_RCV_PORT_DIED;
    }
    QueueSlot* oldest = nullptr;
    for (QueueSlot& slot : queue.slots) {
      if (slot.state.load(std::memory_order_acquire) != kSlotFull) continue;
      if (oldest == nullptr || slot.ticket < oldest->ticket) oldest = &slot;
    }
    if (oldest != nullptr) {
      if (oldest->size > capacity) {
        *size = oldest->size;
        return MACH_RCV_TOO_LARGE;
      }
      uint32_t full = kSlotFull;
      if (!oldest->state.compare_exchange_strong(full, kSlotReading, std::memory_order_acq_rel)) continue;
      tlcrash_async_memcpy(buffer, oldest->bytes, oldest->size);
      *size = oldest->size;
      oldest->state.store(kSlotEmpty, std::memory_order_release);
      return MACH_MSG_SUCCESS;
    }
    uint64_t now = tlcrash_async_monotonic_ns();
    if (now >= deadline) return MACH_RCV_TIMED_OUT;
    uint64_t until = deadline - now > kReceiveRecheckNs ? now + kReceiveRecheckNs : deadline;
    tlcrash_async_futex_wait_until(&queue.seq, seq, until);
  }
}

kern_return_t tl_mach_msg_rpc(void* request, uint32_t request_size, void* reply, uint32_t reply_capacity,
                              uint32_t* reply_size, uint64_t timeout_ns) {
  if (request_size < sizeof(mach_msg_header_t)) return MACH_SEND_INVALID_DEST;
  ReplyPort* port = nullptr;
  uint32_t index = 0;
  uint32_t generation = 0;
  for (; index < kReplyPortCapacity; ++index) {
    uint32_t current = g_replies[index].word.load(std::memory_order_acquire);
    if (replyPhase(current) != kReplyFree) continue;
    generation = (replyGeneration(current) + 1) & kReplyGenerationMask;
    if (g_replies[index].word.compare_exchange_strong(current, replyWord(generation, kReplyWaiting),
                                                      std::memory_order_acq_rel)) {
      port = &g_replies[index];
      break;
    }
  }
  if (port == nullptr) return MACH_SEND_NO_BUFFER;

  auto* header = static_cast<mach_msg_header_t*>(request);
  header->local_port = replyName(index, generation);
  header->bits = (header->bits & ~0xFF00u) | (MACH_MSG_TYPE_MAKE_SEND_ONCE << 8);
  const uint64_t deadline = deadlineAfter(timeout_ns);
  kern_return_t kr = tl_mach_msg_send(request, request_size, timeout_ns);
  if (kr != MACH_MSG_SUCCESS) {
    port->word.store(replyWord(generation, kReplyFree), std::memory_order_release);
    return kr;
  }

  const uint32_t waiting = replyWord(generation, kReplyWaiting);
  if (!tlcrash_async_futex_wait_until(&port->word, waiting, deadline)) {
    uint32_t expected = waiting;
    if (port->word.compare_exchange_strong(expected, replyWord(generation, kReplyAbandoned), std::memory_order_acq_rel)) {
      return MACH_RCV_TIMED_OUT;  // the port goes back with the late reply, if one comes
    }
  }
  tlcrash_async_futex_wait_until(&port->word, replyWord(generation, kReplyWriting),
                                 tlcrash_async_monotonic_ns() + kReplyGraceNs);
  if (port->word.load(std::memory_order_acquire) != replyWord(generation, kReplied)) {
    // Cannot happen short of a replier stuck mid-copy; leave the port to it.
    return MACH_RCV_TIMED_OUT;
  }
  kr = MACH_MSG_SUCCESS;
  mach_msg_header_t reply_header;
  tlcrash_async_memcpy(&reply_header, port->bytes, sizeof(reply_header));
  if (reply_header.id == MACH_NOTIFY_SEND_ONCE) {
    kr = MACH_RCV_PORT_DIED;  // the request was destroyed unanswered
  } else if (port->size > reply_capacity) {
    kr = MACH_RCV_TOO_LARGE;
  } else {
    tlcrash_async_memcpy(reply, port->bytes, port->size);
  }
  *reply_size = port->size;
  port->word.store(replyWord(generation, kReplyFree), std::memory_order_release);
  return kr;
}

}  // namespace ml::crash::mach
