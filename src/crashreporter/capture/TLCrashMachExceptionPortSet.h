#pragma once
// A set of exception-port registrations, with the fixed form that crash-time code reads without
// allocating (tlcrash_mach_exception_port_set: up to EXC_TYPES_COUNT entries, entry i of the four
// arrays belonging together).
//
// Made from registration objects, or from a fixed form the kernel calls filled: each entry then
// becomes a registration object and the reference the kernel call handed out is dropped, so the
// object's own reference is the one left. Normal context only.
#include <cstdint>
#include <vector>

#include "crashreporter/capture/platform/MachTypes.h"

namespace ml::crash {

class TLCrashMachExceptionPort;

struct tlcrash_mach_exception_port_set {
  uint32_t count;
  mach::exception_mask_t masks[mach::EXC_TYPES_COUNT];
  mach::mach_port_t ports[mach::EXC_TYPES_COUNT];
  mach::exception_behavior_t behaviors[mach::EXC_TYPES_COUNT];
  mach::thread_state_flavor_t flavors[mach::EXC_TYPES_COUNT];
};

class TLCrashMachExceptionPortSet {
 public:
  // More than EXC_TYPES_COUNT members fail an assertion: "Set size of %lu exceeds
  // EXC_TYPES_COUNT (%lu)".
  explicit TLCrashMachExceptionPortSet(std::vector<TLCrashMachExceptionPort> set);
  // A count above EXC_TYPES_COUNT fails an assertion: "Count of %lu exceeds EXC_TYPES_COUNT (%lu)".
  // Consumes one user reference of each valid port named in `fixed`.
  static TLCrashMachExceptionPortSet initWithAsyncSafeRepresentation(const tlcrash_mach_exception_port_set& fixed);

  const std::vector<TLCrashMachExceptionPort>& set() const { return set_; }
  const tlcrash_mach_exception_port_set& asyncSafeRepresentation() const { return fixed_; }

  auto begin() const { return set_.begin(); }
  auto end() const { return set_.end(); }

 private:
  TLCrashMachExceptionPortSet(std::vector<TLCrashMachExceptionPort> set, const tlcrash_mach_exception_port_set& fixed);

  std::vector<TLCrashMachExceptionPort> set_;
  tlcrash_mach_exception_port_set fixed_{};
};

}  // namespace ml::crash
