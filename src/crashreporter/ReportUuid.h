#pragma once
// Random (version 4) UUIDs for crash reports, from the kernel's random source. The report UUID is
// made when the writer context is initialised, and again in a process forked from it: the two
// makers are async-signal-safe (getrandom, the clocks, getpid); the text form allocates.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace ml::crash {

using ReportUuid = std::array<uint8_t, 16>;

// nullopt (errno set) only when the kernel's random source cannot be read, or, with `wait`
// false, is not ready yet (early in boot: a forked child must not block there).
std::optional<ReportUuid> makeRandomUuid(bool wait = true);
// A version 4 UUID made from the realtime and monotonic clocks and the process id, for when the
// random source is unavailable: unique per process, not unpredictable.
ReportUuid makeClockUuid();
// Upper-case canonical 8-4-4-4-12 form.
std::string uuidString(const ReportUuid& uuid);

}  // namespace ml::crash
