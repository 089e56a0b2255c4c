#pragma once
// The exception routines' messages on the emulated ports: the client side of raising an
// exception at a port (what the kernel does on a fault, and what a handler does to forward one),
// and the wire layouts the exception server decodes and answers.
//
// Request layouts (little-endian, packed):
//   identity forms (ids 2401, 2403, 2405, 2407): header 24 | descriptor count 4 @24 | thread port
//     descriptor 12 @28 (name first) | task port descriptor 12 @40 | NDR 8 @52 | exception 4 @60 |
//     code count 4 @64 | codes @68 (4 or 8 bytes each) | [flavor 4 | state count 4 | state words]
//   state form (ids 2402, 2406): header 24 | NDR 8 @24 | exception 4 @32 | code count 4 @36 |
//     codes @40 | flavor 4 | state count 4 | state words
// Replies: header 24 | NDR 8 @24 | return code 4 @32 [| flavor 4 | state count 4 | state words]
//
// Every routine here is async-signal-safe: messages are built in stack buffers.
#include <cstdint>

#include "crashreporter/AsyncMemory.h"
#include "crashreporter/capture/platform/MachPortSpace.h"
#include "crashreporter/capture/platform/MachTypes.h"

namespace ml::crash::mach {

// The 64-bit-code request with two codes, the only form the exception server decodes.
inline constexpr uint32_t kExceptionRequestSize = 84;
inline constexpr uint32_t kExceptionRequestThreadOffset = 28;
inline constexpr uint32_t kExceptionRequestTaskOffset = 40;
inline constexpr uint32_t kExceptionRequestTypeOffset = 60;
inline constexpr uint32_t kExceptionRequestCountOffset = 64;
inline constexpr uint32_t kExceptionRequestCodesOffset = 68;
inline constexpr uint32_t kExceptionReplySize = 36;
inline constexpr uint32_t kExceptionReplyCodeOffset = 32;
// Codes a request carries at most.
inline constexpr uint32_t kMaxExceptionCodes = 2;

// The platform's NDR record (little-endian integers, ASCII, IEEE floats).
extern const uint8_t kNdrRecord[8];

// How long a raise waits for its answer.
inline constexpr uint64_t kExceptionRaiseTimeoutNs = 10ull * 1000 * 1000 * 1000;

// EXCEPTION_DEFAULT with 64-bit codes (id 2405) and with 32-bit codes (id 2401).
kern_return_t tl_mach_exception_raise(mach_port_t port, tlcrash_thread_t thread, tlcrash_task_t task,
                                      exception_type_t type, const mach_exception_data_type_t* codes, uint32_t count,
                                      uint64_t timeout_ns = kExceptionRaiseTimeoutNs);
kern_return_t tl_exception_raise(mach_port_t port, tlcrash_thread_t thread, tlcrash_task_t task, exception_type_t type,
                                 const exception_data_type_t* codes, uint32_t count,
                                 uint64_t timeout_ns = kExceptionRaiseTimeoutNs);

// EXCEPTION_STATE (ids 2406 / 2402): sends the thread state, receives a new one (up to
// THREAD_STATE_MAX words; *new_count is set to 0 when the handler returned none).
kern_return_t tl_mach_exception_raise_state(mach_port_t port, exception_type_t type,
                                            const mach_exception_data_type_t* codes, uint32_t count,
                                            thread_state_flavor_t* flavor, const uint32_t* old_state,
                                            uint32_t old_count, uint32_t* new_state, uint32_t* new_count,
                                            uint64_t timeout_ns = kExceptionRaiseTimeoutNs);
kern_return_t tl_exception_raise_state(mach_port_t port, exception_type_t type, const exception_data_type_t* codes,
                                       uint32_t count, thread_state_flavor_t* flavor, const uint32_t* old_state,
                                       uint32_t old_count, uint32_t* new_state, uint32_t* new_count,
                                       uint64_t timeout_ns = kExceptionRaiseTimeoutNs);

// EXCEPTION_STATE_IDENTITY (ids 2407 / 2403).
kern_return_t tl_mach_exception_raise_state_identity(mach_port_t port, tlcrash_thread_t thread, tlcrash_task_t task,
                                                     exception_type_t type, const mach_exception_data_type_t* codes,
                                                     uint32_t count, thread_state_flavor_t* flavor,
                                                     const uint32_t* old_state, uint32_t old_count,
                                                     uint32_t* new_state, uint32_t* new_count,
                                                     uint64_t timeout_ns = kExceptionRaiseTimeoutNs);
kern_return_t tl_exception_raise_state_identity(mach_port_t port, tlcrash_thread_t thread, tlcrash_task_t task,
                                                exception_type_t type, const exception_data_type_t* codes,
                                                uint32_t count, thread_state_flavor_t* flavor,
                                                const uint32_t* old_state, uint32_t old_count, uint32_t* new_state,
                                                uint32_t* new_count, uint64_t timeout_ns = kExceptionRaiseTimeoutNs);

// The 36-byte reply to `request` with `return_code`: bits = the request's bits & 0x1F, remote
// port = the request's remote (reply) port, id = request id + 100. Returns its size.
uint32_t tl_exception_reply_encode(const mach_msg_header_t& request, kern_return_t return_code, uint8_t* reply);

// Little-endian field access within a message buffer.
uint32_t tl_msg_read_u32(const uint8_t* message, uint32_t offset);
int64_t tl_msg_read_i64(const uint8_t* message, uint32_t offset);
void tl_msg_write_u32(uint8_t* message, uint32_t offset, uint32_t value);
void tl_msg_write_i64(uint8_t* message, uint32_t offset, int64_t value);

}  // namespace ml::crash::mach
