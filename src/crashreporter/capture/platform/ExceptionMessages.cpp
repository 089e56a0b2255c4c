#include "crashreporter/capture/platform/ExceptionMessages.h"

#include "crashreporter/AsyncString.h"

namespace ml::crash::mach {

const uint8_t kNdrRecord[8] = {0, 0, 0, 0, 1, 0, 0, 0};

uint32_t tl_msg_read_u32(const uint8_t* message, uint32_t offset) {
  uint32_t value;
  tlcrash_async_memcpy(&value, message + offset, sizeof(value));
  return value;
}

int64_t tl_msg_read_i64(const uint8_t* message, uint32_t offset) {
  int64_t value;
  tlcrash_async_memcpy(&value, message + offset, sizeof(value));
  return value;
}

void tl_msg_write_u32(uint8_t* message, uint32_t offset, uint32_t value) {
  tlcrash_async_memcpy(message + offset, &value, sizeof(value));
}

void tl_msg_write_i64(uint8_t* message, uint32_t offset, int64_t value) {
  tlcrash_async_memcpy(message + offset, &value, sizeof(value));
}

namespace {

// Port descriptor dispositions and type of the identity forms.
constexpr uint8_t kPortDescriptorType = 0;
constexpr uint32_t kThreadStateMaxBytes = THREAD_STATE_MAX * 4;

struct Request {
  int32_t id;
  bool identity;
  tlcrash_thread_t thread;
  tlcrash_task_t task;
  exception_type_t type;
  const void* codes;
  uint32_t code_width;  // 4 or 8
  uint32_t count;
  bool with_state;
  thread_state_flavor_t flavor;
  const uint32_t* state;
  uint32_t state_count;
};

void writePortDescriptor(uint8_t* message, uint32_t offset, uint32_t name) {
  tl_msg_write_u32(message, offset, name);
  tl_msg_write_u32(message, offset + 4, 0);  // pad1
  message[offset + 8] = 0;                   // pad2 (16 bits)
  message[offset + 9] = 0;
  message[offset + 10] = static_cast<uint8_t>(MACH_MSG_TYPE_COPY_SEND);
  message[offset + 11] = kPortDescriptorType;
}

// Builds the request into `message` (kMaxMessageSize bytes); returns its size.
uint32_t encode(const Request& request, mach_port_t port, uint8_t* message) {
  tlcrash_async_memset(message, 0, kMaxMessageSize);
  mach_msg_header_t header{};
  header.bits = MACH_MSGH_BITS(MACH_MSG_TYPE_COPY_SEND, 0);
  header.remote_port = port;
  header.id = request.id;
  uint32_t at;
  if (request.identity) {
    header.bits |= MACH_MSGH_BITS_COMPLEX;
    tl_msg_write_u32(message, 24, 2);
    writePortDescriptor(message, 28, static_cast<uint32_t>(request.thread));
    writePortDescriptor(message, 40, static_cast<uint32_t>(request.task));
    tlcrash_async_memcpy(message + 52, kNdrRecord, sizeof(kNdrRecord));
    at = 60;
  } else {
    tlcrash_async_memcpy(message + 24, kNdrRecord, sizeof(kNdrRecord));
    at = 32;
  }
  tl_msg_write_u32(message, at, static_cast<uint32_t>(request.type));
  tl_msg_write_u32(message, at + 4, request.count);
  at += 8;
  tlcrash_async_memcpy(message + at, request.codes, request.count * request.code_width);
  at += request.count * request.code_width;
  if (request.with_state) {
    tl_msg_write_u32(message, at, static_cast<uint32_t>(request.flavor));
    tl_msg_write_u32(message, at + 4, request.state_count);
    tlcrash_async_memcpy(message + at + 8, request.state, request.state_count * 4);
    at += 8 + request.state_count * 4;
  }
  header.size = at;
  tlcrash_async_memcpy(message, &header, sizeof(header));
  return at;
}

// Sends the request and reads the return code and, for the state forms, the new state.
kern_return_t call(const Request& request, mach_port_t port, thread_state_flavor_t* flavor, uint32_t* new_state,
                   uint32_t* new_count, uint64_t timeout_ns) {
  if (request.count > kMaxExceptionCodes) return MIG_ARRAY_TOO_LARGE;
  if (request.with_state && request.state_count > THREAD_STATE_MAX) return MIG_ARRAY_TOO_LARGE;
  alignas(8) uint8_t message[kMaxMessageSize];
  uint32_t size = encode(request, port, message);
  alignas(8) uint8_t reply[kMaxMessageSize];
  uint32_t reply_size = 0;
  kern_return_t kr = tl_mach_msg_rpc(message, size, reply, sizeof(reply), &reply_size, timeout_ns);
  if (kr != MACH_MSG_SUCCESS) return kr;
  if (reply_size < kExceptionReplySize) return MIG_REPLY_MISMATCH;
  auto reply_id = static_cast<int32_t>(tl_msg_read_u32(reply, 20));
  if (reply_id != request.id + kReplyIdOffset) return MIG_REPLY_MISMATCH;
  auto code = static_cast<kern_return_t>(tl_msg_read_u32(reply, kExceptionReplyCodeOffset));
  if (request.with_state && new_count != nullptr) {
    *new_count = 0;
    if (code == KERN_SUCCESS && reply_size >= 44) {
      uint32_t count = tl_msg_read_u32(reply, 40);
      if (count <= THREAD_STATE_MAX && 44 + count * 4 <= reply_size && count * 4 <= kThreadStateMaxBytes) {
        if (flavor != nullptr) *flavor = static_cast<thread_state_flavor_t>(tl_msg_read_u32(reply, 36));
        tlcrash_async_memcpy(new_state, reply + 44, count * 4);
        *new_count = count;
      }
    }
  }
  return code;
}

}  // namespace

kern_return_t tl_mach_exception_raise(mach_port_t port, tlcrash_thread_t thread, tlcrash_task_t task,
                                      exception_type_t type, const mach_exception_data_type_t* codes, uint32_t count,
                                      uint64_t timeout_ns) {
  Request request{kMachExceptionRaiseId, true, thread, task, type, codes, 8, count, false, 0, nullptr, 0};
  return call(request, port, nullptr, nullptr, nullptr, timeout_ns);
}

kern_return_t tl_exception_raise(mach_port_t port, tlcrash_thread_t thread, tlcrash_task_t task, exception_type_t type,
                                 const exception_data_type_t* codes, uint32_t count, uint64_t timeout_ns) {
  Request request{kExceptionRaiseId, true, thread, task, type, codes, 4, count, false, 0, nullptr, 0};
  return call(request, port, nullptr, nullptr, nullptr, timeout_ns);
}

kern_return_t tl_mach_exception_raise_state(mach_port_t port, exception_type_t type,
                                            const mach_exception_data_type_t* codes, uint32_t count,
                                            thread_state_flavor_t* flavor, const uint32_t* old_state,
                                            uint32_t old_count, uint32_t* new_state, uint32_t* new_count,
                                            uint64_t timeout_ns) {
  Request request{kMachExceptionRaiseStateId, false, 0, 0, type, codes, 8, count, true, *flavor, old_state, old_count};
  return call(request, port, flavor, new_state, new_count, timeout_ns);
}

kern_return_t tl_exception_raise_state(mach_port_t port, exception_type_t type, const exception_data_type_t* codes,
                                       uint32_t count, thread_state_flavor_t* flavor, const uint32_t* old_state,
                                       uint32_t old_count, uint32_t* new_state, uint32_t* new_count,
                                       uint64_t timeout_ns) {
  Request request{kExceptionRaiseStateId, false, 0, 0, type, codes, 4, count, true, *flavor, old_state, old_count};
  return call(request, port, flavor, new_state, new_count, timeout_ns);
}

kern_return_t tl_mach_exception_raise_state_identity(mach_port_t port, tlcrash_thread_t thread, tlcrash_task_t task,
                                                     exception_type_t type, const mach_exception_data_type_t* codes,
                                                     uint32_t count, thread_state_flavor_t* flavor,
                                                     const uint32_t* old_state, uint32_t old_count,
                                                     uint32_t* new_state, uint32_t* new_count, uint64_t timeout_ns) {
  Request request{kMachExceptionRaiseStateIdentityId, true, thread, task, type, codes, 8, count, true, *flavor,
                  old_state, old_count};
  return call(request, port, flavor, new_state, new_count, timeout_ns);
}

kern_return_t tl_exception_raise_state_identity(mach_port_t port, tlcrash_thread_t thread, tlcrash_task_t task,
                                                exception_type_t type, const exception_data_type_t* codes,
                                                uint32_t count, thread_state_flavor_t* flavor,
                                                const uint32_t* old_state, uint32_t old_count, uint32_t* new_state,
                                                uint32_t* new_count, uint64_t timeout_ns) {
  Request request{kExceptionRaiseStateIdentityId, true, thread, task, type, codes, 4, count, true, *flavor,
                  old_state, old_count};
  return call(request, port, flavor, new_state, new_count, timeout_ns);
}

uint32_t tl_exception_reply_encode(const mach_msg_header_t& request, kern_return_t return_code, uint8_t* reply) {
  mach_msg_header_t header{};
  header.bits = request.bits & 0x1F;
  header.size = kExceptionReplySize;
  header.remote_port = request.remote_port;
  header.local_port = MACH_PORT_NULL;
  header.voucher_port = 0;
  header.id = request.id + kReplyIdOffset;
  tlcrash_async_memcpy(reply, &header, sizeof(header));
  tlcrash_async_memcpy(reply + 24, kNdrRecord, sizeof(kNdrRecord));
  tl_msg_write_u32(reply, kExceptionReplyCodeOffset, static_cast<uint32_t>(return_code));
  return kExceptionReplySize;
}

}  // namespace ml::crash::mach
