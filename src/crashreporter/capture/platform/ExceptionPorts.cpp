#include "crashreporter/capture/platform/ExceptionPorts.h"

#include <atomic>
#include <mutex>
#include <unistd.h>

#include "crashreporter/capture/platform/FaultRelay.h"
#include "crashreporter/capture/platform/MachPortSpace.h"

namespace ml::crash::mach {
namespace {

// One table; entries are atomics read under `seq` (odd while a writer is inside).
struct Table {
  std::atomic<uint32_t> seq{0};
  std::atomic<uint32_t> ports[EXC_TYPES_COUNT] = {};
  std::atomic<int32_t> behaviors[EXC_TYPES_COUNT] = {};
  std::atomic<int32_t> flavors[EXC_TYPES_COUNT] = {};
};

struct ThreadTable {
  std::atomic<int32_t> tid{0};  // 0: free
  Table table;
};

Table g_task_table;
ThreadTable g_thread_tables[kThreadTableCapacity];
std::mutex g_lock;  // writers of every table

bool taskIsSelf(tlcrash_task_t task) { return task == ::getpid(); }

bool validArguments(exception_mask_t mask, exception_behavior_t behavior, thread_state_flavor_t flavor) {
  if ((mask & ~EXC_MASK_ALL) != 0) return false;
  exception_behavior_t base = behavior & ~MACH_EXCEPTION_CODES;
  if (base == EXCEPTION_DEFAULT) return true;
  if (base != EXCEPTION_STATE && base != EXCEPTION_STATE_IDENTITY) return false;
  return flavor == x86_THREAD_STATE64 || flavor == x86_THREAD_STATE;
}

kern_return_t checkPort(mach_port_t port) {
  if (port == MACH_PORT_NULL) return KERN_SUCCESS;
  return tl_mach_port_kernel_send_refs(port, 0);  // validates without changing anything
}

// Under g_lock.
void collect(const Table& table, exception_mask_t mask, tl_exception_ports_out* out) {
  out->count = 0;
  const uint32_t capacity = out->capacity < EXC_TYPES_COUNT ? out->capacity : EXC_TYPES_COUNT;
  for (uint32_t type = 1; type < EXC_TYPES_COUNT; ++type) {
    if ((mask & (1u << type)) == 0) continue;
    mach_port_t port = table.ports[type].load(std::memory_order_relaxed);
    exception_behavior_t behavior = table.behaviors[type].load(std::memory_order_relaxed);
    thread_state_flavor_t flavor = table.flavors[type].load(std::memory_order_relaxed);
    uint32_t j = 0;
    for (; j < out->count; ++j) {
      if (out->ports[j] == port && out->behaviors[j] == behavior && out->flavors[j] == flavor) {
        out->masks[j] |= 1u << type;
        break;
      }
    }
    if (j == out->count && out->count < capacity) {
      out->masks[j] = 1u << type;
      out->ports[j] = port;
      out->behaviors[j] = behavior;
      out->flavors[j] = flavor;
      ++out->count;
    }
  }
  // Copy the rights out: one new user reference per live port; a destroyed port reads as dead.
  for (uint32_t j = 0; j < out->count; ++j) {
    if (!MACH_PORT_VALID(out->ports[j])) continue;
    if (tl_mach_port_is_dead(out->ports[j]) || tl_mach_port_mod_send_refs(out->ports[j], +1) != KERN_SUCCESS) {
      out->ports[j] = MACH_PORT_DEAD;
    }
  }
}

// Under g_lock; the port was checked.
void assign(Table& table, exception_mask_t mask, mach_port_t port, exception_behavior_t behavior,
            thread_state_flavor_t flavor) {
  table.seq.fetch_add(1, std::memory_order_acq_rel);
  for (uint32_t type = 1; type < EXC_TYPES_COUNT; ++type) {
    if ((mask & (1u << type)) == 0) continue;
    mach_port_t old = table.ports[type].load(std::memory_order_relaxed);
    if (MACH_PORT_VALID(port)) tl_mach_port_kernel_send_refs(port, +1);
    table.ports[type].store(port, std::memory_order_relaxed);
    table.behaviors[type].store(behavior, std::memory_order_relaxed);
    table.flavors[type].store(flavor, std::memory_order_relaxed);
    if (MACH_PORT_VALID(old)) tl_mach_port_kernel_send_refs(old, -1);
  }
  table.seq.fetch_add(1, std::memory_order_acq_rel);
}

bool hasPorts(const Table& table) {
  for (const auto& port : table.ports) {
    if (MACH_PORT_VALID(port.load(std::memory_order_relaxed))) return true;
  }
  return false;
}

// Under g_lock: the relay is installed exactly while some table names a port.
void updateRelay() {
  bool any = hasPorts(g_task_table);
  for (ThreadTable& thread : g_thread_tables) {
    if (thread.tid.load(std::memory_order_relaxed) == 0) continue;
    if (hasPorts(thread.table)) any = true;
    else thread.tid.store(0, std::memory_order_release);  // an empty table is given back
  }
  if (any) tl_fault_relay_activate();
  else tl_fault_relay_deactivate();
}

ThreadTable* findThread(tlcrash_thread_t thread) {
  for (ThreadTable& table : g_thread_tables) {
    if (table.tid.load(std::memory_order_acquire) == thread) return &table;
  }
  return nullptr;
}

// Under g_lock: the thread's table, made (empty) when it has none.
ThreadTable* threadTable(tlcrash_thread_t thread) {
  if (ThreadTable* found = findThread(thread); found != nullptr) return found;
  for (ThreadTable& table : g_thread_tables) {
    if (table.tid.load(std::memory_order_relaxed) != 0) continue;
    for (uint32_t type = 0; type < EXC_TYPES_COUNT; ++type) {
      table.table.ports[type].store(MACH_PORT_NULL, std::memory_order_relaxed);
      table.table.behaviors[type].store(0, std::memory_order_relaxed);
      table.table.flavors[type].store(0, std::memory_order_relaxed);
    }
    table.tid.store(thread, std::memory_order_release);
    return &table;
  }
  return nullptr;
}

bool threadExists(tlcrash_thread_t thread) {
  char path[64] = "/proc/self/task/";
  size_t at = 16;
  char digits[16];
  size_t n = 0;
  auto value = static_cast<uint32_t>(thread);
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 && n < sizeof(digits));
  while (n > 0) path[at++] = digits[--n];
  path[at] = '\0';
  return thread > 0 && ::access(path, F_OK) == 0;
}

// Reads one entry under the table's sequence counter. Async-signal-safe.
bool readEntry(const Table& table, exception_type_t type, tl_exception_port_entry* out) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    uint32_t before = table.seq.load(std::memory_order_acquire);
    if ((before & 1) != 0) continue;
    out->port = table.ports[type].load(std::memory_order_relaxed);
    out->behavior = table.behaviors[type].load(std::memory_order_relaxed);
    out->flavor = table.flavors[type].load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (table.seq.load(std::memory_order_relaxed) == before) return MACH_PORT_VALID(out->port);
  }
  return false;  // a writer kept the table busy: treated as no registration
}

}  // namespace

kern_return_t tl_task_set_exception_ports(tlcrash_task_t task, exception_mask_t mask, mach_port_t port,
                                          exception_behavior_t behavior, thread_state_flavor_t flavor) {
  if (!taskIsSelf(task) || !validArguments(mask, behavior, flavor)) return KERN_INVALID_ARGUMENT;
  std::lock_guard<std::mutex> lock(g_lock);
  if (kern_return_t kr = checkPort(port); kr != KERN_SUCCESS) return kr;
  assign(g_task_table, mask, port, behavior, flavor);
  updateRelay();
  return KERN_SUCCESS;
}

kern_return_t tl_task_get_exception_ports(tlcrash_task_t task, exception_mask_t mask, tl_exception_ports_out* out) {
  if (!taskIsSelf(task) || (mask & ~EXC_MASK_ALL) != 0) return KERN_INVALID_ARGUMENT;
  std::lock_guard<std::mutex> lock(g_lock);
  collect(g_task_table, mask, out);
  return KERN_SUCCESS;
}

kern_return_t tl_task_swap_exception_ports(tlcrash_task_t task, exception_mask_t mask, mach_port_t port,
                                           exception_behavior_t behavior, thread_state_flavor_t flavor,
                                           tl_exception_ports_out* old) {
  if (!taskIsSelf(task) || !validArguments(mask, behavior, flavor)) return KERN_INVALID_ARGUMENT;
  std::lock_guard<std::mutex> lock(g_lock);
  if (kern_return_t kr = checkPort(port); kr != KERN_SUCCESS) return kr;
  collect(g_task_table, mask, old);
  assign(g_task_table, mask, port, behavior, flavor);
  updateRelay();
  return KERN_SUCCESS;
}

kern_return_t tl_thread_set_exception_ports(tlcrash_thread_t thread, exception_mask_t mask, mach_port_t port,
                                            exception_behavior_t behavior, thread_state_flavor_t flavor) {
  if (!threadExists(thread) || !validArguments(mask, behavior, flavor)) return KERN_INVALID_ARGUMENT;
  std::lock_guard<std::mutex> lock(g_lock);
  if (kern_return_t kr = checkPort(port); kr != KERN_SUCCESS) return kr;
  ThreadTable* table = threadTable(thread);
  if (table == nullptr) return KERN_RESOURCE_SHORTAGE;
  assign(table->table, mask, port, behavior, flavor);
  updateRelay();
  return KERN_SUCCESS;
}

kern_return_t tl_thread_get_exception_ports(tlcrash_thread_t thread, exception_mask_t mask,
                                            tl_exception_ports_out* out) {
  if (!threadExists(thread) || (mask & ~EXC_MASK_ALL) != 0) return KERN_INVALID_ARGUMENT;
  std::lock_guard<std::mutex> lock(g_lock);
  ThreadTable* table = findThread(thread);
  if (table == nullptr) {
    static const Table kEmpty;
    collect(kEmpty, mask, out);
    return KERN_SUCCESS;
  }
  collect(table->table, mask, out);
  return KERN_SUCCESS;
}

kern_return_t tl_thread_swap_exception_ports(tlcrash_thread_t thread, exception_mask_t mask, mach_port_t port,
                                             exception_behavior_t behavior, thread_state_flavor_t flavor,
                                             tl_exception_ports_out* old) {
  if (!threadExists(thread) || !validArguments(mask, behavior, flavor)) return KERN_INVALID_ARGUMENT;
  std::lock_guard<std::mutex> lock(g_lock);
  if (kern_return_t kr = checkPort(port); kr != KERN_SUCCESS) return kr;
  ThreadTable* table = threadTable(thread);
  if (table == nullptr) return KERN_RESOURCE_SHORTAGE;
  collect(table->table, mask, old);
  assign(table->table, mask, port, behavior, flavor);
  updateRelay();
  return KERN_SUCCESS;
}

uint32_t tl_exception_ports_for(tlcrash_thread_t thread, exception_type_t type, tl_exception_port_entry out[2]) {
  if (type <= 0 || static_cast<uint32_t>(type) >= EXC_TYPES_COUNT) return 0;
  uint32_t n = 0;
  for (const ThreadTable& table : g_thread_tables) {
    if (table.tid.load(std::memory_order_acquire) == thread) {
      if (readEntry(table.table, type, &out[n])) ++n;
      break;
    }
  }
  if (readEntry(g_task_table, type, &out[n])) ++n;
  return n;
}

}  // namespace ml::crash::mach
