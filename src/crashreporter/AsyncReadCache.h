#pragma once
// The capture's read cache: whole pages of the task, read once per capture. A capture walks many
// frames of the same few images and stacks, and each step would otherwise read the same unwind
// tables and stack words again, one system call per read.
//
// Only for the thread that holds the capture guard, between begin and end: while the cache is on,
// the memory it reads must not change, which holds while the other threads are stopped (their
// stacks, the loaded images and their unwind and symbol tables). Reads of any other thread, or of
// another task, pass it by.
//
// Async-signal-safe: static storage, lock-free atomics, process_vm_readv.
#include <cstddef>
#include <cstdint>

#include "crashreporter/AsyncMemory.h"

namespace ml::crash {

// Empties the cache and turns it on for the calling thread and this task / turns it off.
void tlcrash_async_read_cache_begin();
void tlcrash_async_read_cache_end();

// A number of the running capture, new at every begin, when the calling thread owns the cache; 0
// otherwise. What a capture remembers in static storage (the unwind rows of the pcs it met) is
// keyed by it, so nothing outlives its capture.
uint64_t tlcrash_async_read_cache_capture();

// Copies `length` bytes at `address` of `task` from the cache, reading whole pages into it on a
// miss. False, with nothing promised about `destination`, when the cache is off, belongs to
// another thread or task, or a page of the range cannot be read (the caller then reads directly,
// and gets the error).
bool tlcrash_async_read_cache_copy(tlcrash_task_t task, uint64_t address, void* destination, size_t length);

}  // namespace ml::crash
