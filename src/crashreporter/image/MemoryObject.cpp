#include "crashreporter/image/MemoryObject.h"

#include <cerrno>
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncString.h"

namespace ml::crash {
namespace {

// Copies as much of [page_start, page_start + page_length) of the task as is readable from its
// first byte on into `local`. process_vm_readv stops at the first unreadable page and reports the
// bytes copied before it (or EFAULT when that is none), which is exactly the probe a partial
// mapping needs. errno is preserved for the interrupted code.
// Crash time.
uint64_t copyReadablePrefix(tlcrash_task_t task, uint64_t page_start, uint64_t page_length, void* local,
                            int* error) {
  int saved = errno;
  uint64_t done = 0;
  *error = 0;
  while (done < page_length) {
    iovec to{static_cast<char*>(local) + done, static_cast<size_t>(page_length - done)};
    iovec from{reinterpret_cast<void*>(static_cast<uintptr_t>(page_start + done)), static_cast<size_t>(page_length - done)};
    ssize_t n = ::process_vm_readv(task, &to, 1, &from, 1, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = n < 0 ? errno : EFAULT;
      break;
    }
    done += static_cast<uint64_t>(n);
  }
  errno = saved;
  return done;
}

}  // namespace

// Crash time.
uint64_t tlcrash_async_page_size() { return static_cast<uint64_t>(::getpagesize()); }

// Crash time.
tlcrash_error_t tlcrash_async_mobject_init(tlcrash_async_mobject* mobj, tlcrash_task_t task, uint64_t target_address,
                                           uint64_t length, bool require_full) {
  const uint64_t page = tlcrash_async_page_size();
  const uint64_t mask = page - 1;
  *mobj = tlcrash_async_mobject{};

  uint64_t end;
  if (__builtin_add_overflow(target_address, length, &end) || end > UINT64_MAX - mask) return TLCRASH_EINVAL;
  const uint64_t page_start = target_address & ~mask;
  uint64_t page_length = ((end + mask) & ~mask) - page_start;
  const uint64_t page_offset = target_address - page_start;

  if (page_length == 0) {
    // An empty range at a page boundary covers no page at all.
    if (!require_full) TLCRASH_DIAG("No mappable pages found at 0x%llx", static_cast<unsigned long long>(target_address));
    return TLCRASH_ENOMEM;
  }

  if (page_length > kMaxMemoryObjectLength) {
    // A copy this large would be read from an address taken from the image itself, which may
    // point anywhere; readers of real images never need this much in one object.
    if (require_full) {
      TLCRASH_DIAG("Refusing to map 0x%llx bytes at 0x%llx", static_cast<unsigned long long>(page_length),
                   static_cast<unsigned long long>(target_address));
      return TLCRASH_ENOMEM;
    }
    page_length = kMaxMemoryObjectLength;
  }

  void* local = ::mmap(nullptr, page_length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (local == MAP_FAILED) {
    TLCRASH_DIAG("Failed to allocate a target page range for the page remapping: %d", errno);
    return TLCRASH_EINTERNAL;
  }

  int error = 0;
  uint64_t copied = copyReadablePrefix(task, page_start, page_length, local, &error) & ~mask;
  if (copied < page_length) {
    if (require_full || copied == 0) {
      if (require_full) {
        TLCRASH_DIAG("process_vm_readv() failed at 0x%llx: %d",
                     static_cast<unsigned long long>(page_start + copied), error);
      } else {
        TLCRASH_DIAG("No mappable pages found at 0x%llx", static_cast<unsigned long long>(target_address));
      }
      if (::munmap(local, page_length) != 0) TLCRASH_DIAG("munmap() failed: %s", tlcrash_async_errno_text(errno));
      return TLCRASH_ENOMEM;
    }
    // Give back the pages that could not be filled; the object ends where the readable run ends.
    if (::munmap(static_cast<char*>(local) + copied, page_length - copied) != 0) {
      TLCRASH_DIAG("munmap() failed: %s", tlcrash_async_errno_text(errno));
    }
    page_length = copied;
  }
  // Read-only so that a reader's stray write faults. Without it the copy still reads correctly:
  // say so, with the range and the reason, and go on.
  if (::mprotect(local, page_length, PROT_READ) != 0) {
    // The line must fit the 128-byte diagnostic buffer.
    TLCRASH_DIAG("mprotect(%p, 0x%llx) of the copy of 0x%llx: %s", local, static_cast<unsigned long long>(page_length),
                 static_cast<unsigned long long>(page_start), tlcrash_async_errno_text(errno));
  }

  const auto local_start = reinterpret_cast<uint64_t>(local);
  mobj->task = task;
  mobj->mapping_address = local_start;
  mobj->mapping_length = page_length;
  mobj->address = local_start + page_offset;
  const uint64_t available = page_length > page_offset ? page_length - page_offset : 0;
  mobj->length = available < length ? available : length;
  mobj->target_address = target_address;
  mobj->slide = static_cast<int64_t>(target_address - mobj->address);
  return TLCRASH_ESUCCESS;
}

// Crash time.
bool tlcrash_async_mobject_verify_local_pointer(const tlcrash_async_mobject* mobj, uint64_t local_address,
                                                int64_t offset, uint64_t length) {
  uint64_t start;
  if (!tlcrash_async_address_apply_offset(local_address, offset, &start)) return false;
  uint64_t end;
  if (__builtin_add_overflow(start, length, &end)) return false;
  if (start < mobj->address) return false;
  return end <= mobj->address + mobj->length;
}

// Crash time.
void* tlcrash_async_mobject_remap_address(const tlcrash_async_mobject* mobj, uint64_t target_address,
                                          int64_t offset, uint64_t length) {
  if (mobj->address == 0) return nullptr;
  const uint64_t local = target_address - static_cast<uint64_t>(mobj->slide);
  if (!tlcrash_async_mobject_verify_local_pointer(mobj, local, offset, length)) return nullptr;
  return reinterpret_cast<void*>(static_cast<uintptr_t>(local + static_cast<uint64_t>(offset)));
}

namespace {

// Crash time.
template <typename T>
// Crash time.
tlcrash_error_t readValue(const tlcrash_async_mobject* mobj, uint64_t target_address, int64_t offset, T* result) {
  const void* source = tlcrash_async_mobject_remap_address(mobj, target_address, offset, sizeof(T));
  if (source == nullptr) return TLCRASH_EINVAL;
  tlcrash_async_memcpy(result, source, sizeof(T));
  return TLCRASH_ESUCCESS;
}

}  // namespace

// Crash time.
tlcrash_error_t tlcrash_async_mobject_read_uint8(const tlcrash_async_mobject* mobj, uint64_t target_address,
                                                 int64_t offset, uint8_t* result) {
  return readValue(mobj, target_address, offset, result);
}

// Crash time.
tlcrash_error_t tlcrash_async_mobject_read_uint16(const tlcrash_async_mobject* mobj,
                                                  const tlcrash_async_byteorder_t* byteorder, uint64_t target_address,
                                                  int64_t offset, uint16_t* result) {
  tlcrash_error_t err = readValue(mobj, target_address, offset, result);
  if (err == TLCRASH_ESUCCESS) *result = byteorder->swap16(*result);
  return err;
}

// Crash time.
tlcrash_error_t tlcrash_async_mobject_read_uint32(const tlcrash_async_mobject* mobj,
                                                  const tlcrash_async_byteorder_t* byteorder, uint64_t target_address,
                                                  int64_t offset, uint32_t* result) {
  tlcrash_error_t err = readValue(mobj, target_address, offset, result);
  if (err == TLCRASH_ESUCCESS) *result = byteorder->swap32(*result);
  return err;
}

// Crash time.
tlcrash_error_t tlcrash_async_mobject_read_uint64(const tlcrash_async_mobject* mobj,
                                                  const tlcrash_async_byteorder_t* byteorder, uint64_t target_address,
                                                  int64_t offset, uint64_t* result) {
  tlcrash_error_t err = readValue(mobj, target_address, offset, result);
  if (err == TLCRASH_ESUCCESS) *result = byteorder->swap64(*result);
  return err;
}

// Crash time.
void tlcrash_async_mobject_free(tlcrash_async_mobject* mobj) {
  if (mobj->mapping_address != 0 &&
      ::munmap(reinterpret_cast<void*>(static_cast<uintptr_t>(mobj->mapping_address)), mobj->mapping_length) != 0) {
    TLCRASH_DIAG("munmap() failure: %s", tlcrash_async_errno_text(errno));
  }
  *mobj = tlcrash_async_mobject{};
}

}  // namespace ml::crash
