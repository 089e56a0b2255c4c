#include "crashreporter/AsyncString.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace ml::crash {

// Crash time.
int tlcrash_async_strcmp(const char* a, const char* b) {
  auto* p = reinterpret_cast<const unsigned char*>(a);
  auto* q = reinterpret_cast<const unsigned char*>(b);
  while (*p != 0 && *p == *q) {
    ++p;
    ++q;
  }
  return static_cast<int>(*p) - static_cast<int>(*q);
}

// Crash time.
int tlcrash_async_strncmp(const char* a, const char* b, size_t n) {
  auto* p = reinterpret_cast<const unsigned char*>(a);
  auto* q = reinterpret_cast<const unsigned char*>(b);
  for (size_t i = 0; i < n; ++i) {
    if (p[i] != q[i] || p[i] == 0) return static_cast<int>(p[i]) - static_cast<int>(q[i]);
  }
  return 0;
}

// Crash time.
size_t tlcrash_async_strlen(const char* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

// Crash time.
void* tlcrash_async_memcpy(void* destination, const void* source, size_t n) {
  // Eight bytes at a time, then the rest; the volatile stores keep the compiler from turning the
  // loops back into a memcpy call. A packed word may lie at any address.
  struct __attribute__((packed)) Word {
    uint64_t value;
  };
  auto* d = static_cast<unsigned char*>(destination);
  auto* s = static_cast<const unsigned char*>(source);
  size_t i = 0;
  for (; i + sizeof(Word) <= n; i += sizeof(Word)) {
    reinterpret_cast<volatile Word*>(d + i)->value = reinterpret_cast<const Word*>(s + i)->value;
  }
  for (; i < n; ++i) *static_cast<volatile unsigned char*>(d + i) = s[i];
  return destination;
}

// Crash time.
void* tlcrash_async_memset(void* destination, int value, size_t n) {
  auto* d = static_cast<volatile unsigned char*>(destination);
  for (size_t i = 0; i < n; ++i) d[i] = static_cast<unsigned char>(value);
  return destination;
}

// Crash time.
const char* tlcrash_async_errno_text(int error) {
  // strerrordesc_np returns a static, untranslated text and takes no locale lock.
  const char* text = strerrordesc_np(error);
  return text != nullptr ? text : "Unknown error";
}

// Crash time.
ssize_t tlcrash_async_writen(int fd, const void* data, size_t length) {
  auto* p = static_cast<const char*>(data);
  size_t left = length;
  while (left > 0) {
    ssize_t written = ::write(fd, p, left);
    if (written <= 0) {
      if (written < 0 && errno == EINTR) continue;
      return -1;
    }
    p += written;
    left -= static_cast<size_t>(written);
  }
  return static_cast<ssize_t>(length);
}

}  // namespace ml::crash
