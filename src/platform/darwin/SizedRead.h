#pragma once
// The size-then-read pattern of the attribute calls (getxattr, listxattr and their kin), done
// so that a value changing between the two calls is never padded, cut or misread.
#include <sys/types.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "platform/foundation/Result.h"

namespace ml::darwin {

// An attribute may grow between the size query and the read (ERANGE); each retry asks for the
// new size. A writer that keeps growing it cannot hold the reader forever.
inline constexpr int kMaxSizedReadAttempts = 16;

// `call(buffer, size)` behaves like getxattr: with (nullptr, 0) it answers the current size,
// otherwise the count it copied, or -1 with errno set. The result holds exactly the bytes of the
// read that succeeded.
template <class Call>
foundation::Result<std::vector<uint8_t>> sizedRead(Call call) {
  for (int attempt = 0; attempt < kMaxSizedReadAttempts; ++attempt) {
    const ssize_t size = call(nullptr, 0);
    if (size < 0) return foundation::Error::posix(errno);
    std::vector<uint8_t> buffer(static_cast<size_t>(size));
    if (size == 0) return buffer;
    const ssize_t read = call(buffer.data(), buffer.size());
    if (read >= 0) {
      // The value may have shrunk since the size query: keep only what was read.
      buffer.resize(static_cast<size_t>(read));
      return buffer;
    }
    if (errno != ERANGE) return foundation::Error::posix(errno);
  }
  return foundation::Error::posix(ERANGE);
}

}  // namespace ml::darwin
