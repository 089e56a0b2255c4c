#include "crashreporter/ReportUuid.h"

#include <cerrno>
#include <ctime>
#include <sys/random.h>
#include <unistd.h>

namespace ml::crash {

std::optional<ReportUuid> makeRandomUuid(bool wait) {
  ReportUuid uuid{};
  size_t filled = 0;
  while (filled < uuid.size()) {
    ssize_t n = ::getrandom(uuid.data() + filled, uuid.size() - filled, wait ? 0u : GRND_NONBLOCK);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    filled += static_cast<size_t>(n);
  }
  uuid[6] = static_cast<uint8_t>((uuid[6] & 0x0F) | 0x40);  // version 4
  uuid[8] = static_cast<uint8_t>((uuid[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return uuid;
}

ReportUuid makeClockUuid() {
  timespec real{}, mono{};
  ::clock_gettime(CLOCK_REALTIME, &real);
  ::clock_gettime(CLOCK_MONOTONIC, &mono);
  uint64_t a = static_cast<uint64_t>(real.tv_sec) * 1000000000u + static_cast<uint64_t>(real.tv_nsec);
  uint64_t b = (static_cast<uint64_t>(mono.tv_sec) * 1000000000u + static_cast<uint64_t>(mono.tv_nsec)) ^
               (static_cast<uint64_t>(::getpid()) << 40);
  ReportUuid uuid{};
  for (size_t i = 0; i < 8; ++i) {
    uuid[i] = static_cast<uint8_t>(a >> (8 * i));
    uuid[8 + i] = static_cast<uint8_t>(b >> (8 * i));
  }
  uuid[6] = static_cast<uint8_t>((uuid[6] & 0x0F) | 0x40);
  uuid[8] = static_cast<uint8_t>((uuid[8] & 0x3F) | 0x80);
  return uuid;
}

}  // namespace ml::crash
