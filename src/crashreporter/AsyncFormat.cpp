#include "crashreporter/AsyncFormat.h"

#include <cstdint>

namespace ml::crash {
namespace {

// Output cursor that silently drops what does not fit, keeping one byte for the terminator.
struct Sink {
  char* buffer;
  size_t capacity;
  size_t length = 0;

  void put(char c) {
    if (length + 1 < capacity) buffer[length++] = c;
  }
};

// Crash time.
void putUnsigned(Sink& sink, uint64_t value, unsigned base, bool upper, int width, char pad, bool negative) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char scratch[24];
  int n = 0;
  do {
    scratch[n++] = digits[value % base];
    value /= base;
  } while (value != 0);
  int total = n + (negative ? 1 : 0);
  if (negative && pad == '0') sink.put('-');
  for (int i = total; i < width; ++i) sink.put(pad);
  if (negative && pad != '0') sink.put('-');
  while (n > 0) sink.put(scratch[--n]);
}

}  // namespace

// Crash time.
size_t tlcrash_async_vformat(char* buffer, size_t capacity, const char* format, va_list args) {
  Sink sink{buffer, capacity};
  for (const char* p = format; *p != 0; ++p) {
    if (*p != '%') {
      sink.put(*p);
      continue;
    }
    const char* start = p++;
    char pad = ' ';
    if (*p == '0') {
      pad = '0';
      ++p;
    }
    int width = 0;
    while (*p >= '0' && *p <= '9') width = width * 10 + (*p++ - '0');
    if (width > 64) width = 64;
    int longness = 0;  // 0 int, 1 long, 2 long long, -1 short, -2 char
    bool sized = false;
    for (;;) {
      if (*p == 'l') { ++longness; ++p; }
      else if (*p == 'h') { --longness; ++p; }
      else if (*p == 'j' || *p == 'z' || *p == 't') { sized = true; ++p; }
      else break;
    }
    switch (*p) {
      case 'd':
      case 'i': {
        int64_t v;
        if (sized || longness >= 1) v = longness == 1 && !sized ? va_arg(args, long) : va_arg(args, long long);
        else v = va_arg(args, int);
        if (longness == -1) v = static_cast<short>(v);
        if (longness <= -2) v = static_cast<signed char>(v);
        uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        putUnsigned(sink, magnitude, 10, false, width, pad, v < 0);
        break;
      }
      case 'u':
      case 'x':
      case 'X': {
        uint64_t v;
        if (sized || longness >= 1) v = longness == 1 && !sized ? va_arg(args, unsigned long) : va_arg(args, unsigned long long);
        else v = va_arg(args, unsigned int);
        if (longness == -1) v = static_cast<unsigned short>(v);
        if (longness <= -2) v = static_cast<unsigned char>(v);
        putUnsigned(sink, v, *p == 'u' ? 10 : 16, *p == 'X', width, pad, false);
        break;
      }
      case 'p': {
        auto v = reinterpret_cast<uintptr_t>(va_arg(args, void*));
        sink.put('0');
        sink.put('x');
        putUnsigned(sink, v, 16, false, width, pad, false);
        break;
      }
      case 'c':
        sink.put(static_cast<char>(va_arg(args, int)));
        break;
      case 's': {
        const char* s = va_arg(args, const char*);
        if (s == nullptr) s = "(null)";
        while (*s != 0) sink.put(*s++);
        break;
      }
      case '%':
        sink.put('%');
        break;
      default:
        // Unknown conversion: copy it literally; stop at the end of the format.
        for (const char* q = start; q <= p && *q != 0; ++q) sink.put(*q);
        if (*p == 0) --p;
        break;
    }
  }
  if (capacity > 0) buffer[sink.length] = 0;
  return sink.length;
}

// Crash time.
size_t tlcrash_async_format(char* buffer, size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  size_t n = tlcrash_async_vformat(buffer, capacity, format, args);
  va_end(args);
  return n;
}

}  // namespace ml::crash
