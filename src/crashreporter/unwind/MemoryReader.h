#pragma once
// The memory-reader concept every unwind parser is written against. A reader is a bounded window
// of the target task's memory [base_address, base_address + length), addressed by target
// addresses. The same parser therefore reads a section of this process in place
// (LocalMemoryWindow), a section of the live process through safe reads (TaskMemoryWindow), or a
// test buffer placed at a pretend address (LocalMemoryWindow again).
//
// Contract of read(address, offset, destination, length):
//   - the bytes are those at target address + offset (offset is signed);
//   - TLCRASH_EINVAL when the sum overflows or any byte of the range lies outside the window, or
//     when the window cannot produce the bytes (an unreadable page inside a task window counts as
//     outside: the window behaves as if it ended there);
//   - on failure the destination may be partly written.
// task() names the task whose memory the window shows; pointers found inside the window (an
// indirect DW_EH_PE pointer, a saved register) are read from that task with the safe reads.
//
// Every reader and helper here is async-signal-safe: no allocation, no locks, no exceptions.
#include <concepts>
#include <cstddef>
#include <cstdint>

#include "crashreporter/AsyncByteOrder.h"
#include "crashreporter/AsyncError.h"
#include "crashreporter/AsyncMemory.h"

namespace ml::crash {

template <class M>
concept MemoryReader = requires(M& reader, const M& view, uint64_t address, int64_t offset, void* destination,
                                size_t length) {
  { view.base_address() } -> std::same_as<uint64_t>;
  { view.length() } -> std::same_as<uint64_t>;
  { view.task() } -> std::same_as<tlcrash_task_t>;
  { reader.read(address, offset, destination, length) } -> std::same_as<tlcrash_error_t>;
};

// true when [address + offset, + length) lies wholly inside [base, base + window_length), with
// every sum overflow-checked; stores address + offset in *absolute when given.
// Async-signal-safe.
bool tlcrash_async_window_contains(uint64_t base, uint64_t window_length, uint64_t address, int64_t offset,
                                   uint64_t length, uint64_t* absolute);

template <MemoryReader M>
bool tlcrash_async_reader_contains(const M& reader, uint64_t address, int64_t offset, uint64_t length) {
  return tlcrash_async_window_contains(reader.base_address(), reader.length(), address, offset, length, nullptr);
}

// Fixed-width reads through a window, swapped by the given byte order (8-bit values are not).
// Async-signal-safe.
template <MemoryReader M>
tlcrash_error_t tlcrash_async_reader_read_uint8(M& reader, uint64_t address, int64_t offset, uint8_t* result) {
  return reader.read(address, offset, result, sizeof(*result));
}

template <MemoryReader M>
tlcrash_error_t tlcrash_async_reader_read_uint16(M& reader, const tlcrash_async_byteorder_t* byteorder,
                                                 uint64_t address, int64_t offset, uint16_t* result) {
  tlcrash_error_t err = reader.read(address, offset, result, sizeof(*result));
  if (err == TLCRASH_ESUCCESS) *result = byteorder->swap16(*result);
  return err;
}

template <MemoryReader M>
tlcrash_error_t tlcrash_async_reader_read_uint32(M& reader, const tlcrash_async_byteorder_t* byteorder,
                                                 uint64_t address, int64_t offset, uint32_t* result) {
  tlcrash_error_t err = reader.read(address, offset, result, sizeof(*result));
  if (err == TLCRASH_ESUCCESS) *result = byteorder->swap32(*result);
  return err;
}

template <MemoryReader M>
tlcrash_error_t tlcrash_async_reader_read_uint64(M& reader, const tlcrash_async_byteorder_t* byteorder,
                                                 uint64_t address, int64_t offset, uint64_t* result) {
  tlcrash_error_t err = reader.read(address, offset, result, sizeof(*result));
  if (err == TLCRASH_ESUCCESS) *result = byteorder->swap64(*result);
  return err;
}

}  // namespace ml::crash
