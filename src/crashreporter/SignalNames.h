#pragma once
// Names of signals and of their codes, as the crash report records them ("SIGSEGV",
// "SEGV_MAPERR"). Numbers follow Linux. Async-signal-safe: linear searches of static tables.
#include <cstddef>

namespace ml::crash {

// The signal's name, or null when the table has none (real-time signals, for instance).
const char* tlcrash_async_signal_signame(int signo);
// The name of the pair (signal, si_code): first the codes of that signal, then the sender codes
// every signal may carry (SI_USER, SI_KERNEL, SI_TKILL, ...); null when none matches.
const char* tlcrash_async_signal_sigcode(int signo, int code);

// Room for a "#<decimal>" stand-in of any 32-bit value, terminator included ("#-2147483648").
inline constexpr size_t kSignalFallbackNameSize = 16;

}  // namespace ml::crash
