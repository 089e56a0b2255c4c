#include "crashreporter/capture/TLCrashMachExceptionPortSet.h"

#include <cstdio>
#include <cstdlib>

#include "crashreporter/capture/ReporterLog.h"
#include "crashreporter/capture/TLCrashMachExceptionPort.h"
#include "crashreporter/capture/platform/MachPortSpace.h"

namespace ml::crash {
namespace {

[[noreturn]] void assertionFailed(const char* format, unsigned long count) {
  char message[128];
  std::snprintf(message, sizeof(message), format, count, static_cast<unsigned long>(mach::EXC_TYPES_COUNT));
  std::fprintf(stderr, "%s\n", message);
  std::abort();
}

}  // namespace

TLCrashMachExceptionPortSet::TLCrashMachExceptionPortSet(std::vector<TLCrashMachExceptionPort> set)
    : set_(std::move(set)) {
  if (set_.size() > mach::EXC_TYPES_COUNT) {
    assertionFailed("Set size of %lu exceeds EXC_TYPES_COUNT (%lu)", static_cast<unsigned long>(set_.size()));
  }
  fixed_.count = static_cast<uint32_t>(set_.size());
  for (size_t i = 0; i < set_.size(); ++i) {
    fixed_.masks[i] = set_[i].mask();
    fixed_.ports[i] = set_[i].server_port();
    fixed_.behaviors[i] = set_[i].behavior();
    fixed_.flavors[i] = set_[i].flavor();
  }
}

TLCrashMachExceptionPortSet::TLCrashMachExceptionPortSet(std::vector<TLCrashMachExceptionPort> set,
                                                         const tlcrash_mach_exception_port_set& fixed)
    : set_(std::move(set)), fixed_(fixed) {}

TLCrashMachExceptionPortSet TLCrashMachExceptionPortSet::initWithAsyncSafeRepresentation(
    const tlcrash_mach_exception_port_set& fixed) {
  if (fixed.count > mach::EXC_TYPES_COUNT) {
    assertionFailed("Count of %lu exceeds EXC_TYPES_COUNT (%lu)", static_cast<unsigned long>(fixed.count));
  }
  std::vector<TLCrashMachExceptionPort> set;
  set.reserve(fixed.count);
  for (uint32_t i = 0; i < fixed.count; ++i) {
    set.emplace_back(fixed.ports[i], fixed.masks[i], fixed.behaviors[i], fixed.flavors[i]);
    // The kernel call handed this reference out; the object now holds its own.
    if (mach::MACH_PORT_VALID(fixed.ports[i])) {
      mach::kern_return_t kr = mach::tl_mach_port_mod_send_refs(fixed.ports[i], -1);
      if (kr != mach::KERN_SUCCESS) tlcrash_nasync_log("Unexpected error decrementing mach port reference: %d", kr);
    }
  }
  return TLCrashMachExceptionPortSet(std::move(set), fixed);
}

}  // namespace ml::crash
