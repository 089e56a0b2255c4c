#include "crashreporter/capture/TLCrashMachExceptionPort.h"

#include "crashreporter/capture/ReporterLog.h"
#include "crashreporter/capture/TLCrashMachExceptionPortSet.h"
#include "crashreporter/capture/platform/ExceptionPorts.h"
#include "crashreporter/capture/platform/MachPortSpace.h"

namespace ml::crash {
namespace {

// The kernel calls' answer as a fixed form.
tlcrash_mach_exception_port_set fixedForm(const mach::tl_exception_ports_out& out) {
  tlcrash_mach_exception_port_set fixed{};
  fixed.count = out.count;
  for (uint32_t i = 0; i < out.count; ++i) {
    fixed.masks[i] = out.masks[i];
    fixed.ports[i] = out.ports[i];
    fixed.behaviors[i] = out.behaviors[i];
    fixed.flavors[i] = out.flavors[i];
  }
  return fixed;
}

}  // namespace

TLCrashMachExceptionPort::TLCrashMachExceptionPort(mach::mach_port_t port, mach::exception_mask_t mask,
                                                   mach::exception_behavior_t behavior,
                                                   mach::thread_state_flavor_t flavor)
    : mask_(mask), port_(port), behavior_(behavior), flavor_(flavor) {
  retain();
}

TLCrashMachExceptionPort::TLCrashMachExceptionPort(const TLCrashMachExceptionPort& other)
    : mask_(other.mask_), port_(other.port_), behavior_(other.behavior_), flavor_(other.flavor_) {
  retain();
}

TLCrashMachExceptionPort& TLCrashMachExceptionPort::operator=(const TLCrashMachExceptionPort& other) {
  if (this == &other) return *this;
  other.retain();
  release();
  mask_ = other.mask_;
  port_ = other.port_;
  behavior_ = other.behavior_;
  flavor_ = other.flavor_;
  return *this;
}

TLCrashMachExceptionPort::TLCrashMachExceptionPort(TLCrashMachExceptionPort&& other) noexcept
    : mask_(other.mask_), port_(other.port_), behavior_(other.behavior_), flavor_(other.flavor_) {
  other.port_ = mach::MACH_PORT_NULL;  // the reference moves with the name
}

TLCrashMachExceptionPort& TLCrashMachExceptionPort::operator=(TLCrashMachExceptionPort&& other) noexcept {
  if (this == &other) return *this;
  release();
  mask_ = other.mask_;
  port_ = other.port_;
  behavior_ = other.behavior_;
  flavor_ = other.flavor_;
  other.port_ = mach::MACH_PORT_NULL;
  return *this;
}

TLCrashMachExceptionPort::~TLCrashMachExceptionPort() { release(); }

void TLCrashMachExceptionPort::retain() const {
  if (!mach::MACH_PORT_VALID(port_)) return;
  mach::kern_return_t kr = mach::tl_mach_port_mod_send_refs(port_, +1);
  if (kr != mach::KERN_SUCCESS) tlcrash_nasync_log("Unexpected error incrementing mach port reference: %d", kr);
}

void TLCrashMachExceptionPort::release() const {
  if (!mach::MACH_PORT_VALID(port_)) return;
  mach::kern_return_t kr = mach::tl_mach_port_mod_send_refs(port_, -1);
  if (kr != mach::KERN_SUCCESS) tlcrash_nasync_log("Unexpected error decrementing mach port reference: %d", kr);
}

Result<std::shared_ptr<TLCrashMachExceptionPortSet>> TLCrashMachExceptionPort::exceptionPortsForTask(
    tlcrash_task_t task, mach::exception_mask_t mask) {
  mach::tl_exception_ports_out out;
  out.capacity = mach::EXC_TYPES_COUNT;
  mach::kern_return_t kr = mach::tl_task_get_exception_ports(task, mask, &out);
  if (kr != mach::KERN_SUCCESS) return tlcrash_populate_mach_error(kr, "Failed to fetch mach exception ports");
  return std::make_shared<TLCrashMachExceptionPortSet>(
      TLCrashMachExceptionPortSet::initWithAsyncSafeRepresentation(fixedForm(out)));
}

Result<std::shared_ptr<TLCrashMachExceptionPortSet>> TLCrashMachExceptionPort::exceptionPortsForThread(
    tlcrash_thread_t thread, mach::exception_mask_t mask) {
  mach::tl_exception_ports_out out;
  out.capacity = mach::EXC_TYPES_COUNT;
  mach::kern_return_t kr = mach::tl_thread_get_exception_ports(thread, mask, &out);
  if (kr != mach::KERN_SUCCESS) return tlcrash_populate_mach_error(kr, "Failed to fetch mach exception ports");
  return std::make_shared<TLCrashMachExceptionPortSet>(
      TLCrashMachExceptionPortSet::initWithAsyncSafeRepresentation(fixedForm(out)));
}

TLCrashStatus TLCrashMachExceptionPort::registerForTask(tlcrash_task_t task,
                                                        std::shared_ptr<TLCrashMachExceptionPortSet>* previous) const {
  mach::tl_exception_ports_out old;
  old.capacity = mach::EXC_TYPES_COUNT;
  mach::kern_return_t kr = mach::tl_task_swap_exception_ports(task, mask_, port_, behavior_, flavor_, &old);
  if (kr != mach::KERN_SUCCESS) return tlcrash_populate_mach_error(kr, "Failed to swap mach exception ports");
  auto set = TLCrashMachExceptionPortSet::initWithAsyncSafeRepresentation(fixedForm(old));
  if (previous != nullptr) *previous = std::make_shared<TLCrashMachExceptionPortSet>(std::move(set));
  return TLCrashOk{};
}

TLCrashStatus TLCrashMachExceptionPort::registerForThread(tlcrash_thread_t thread,
                                                          std::shared_ptr<TLCrashMachExceptionPortSet>* previous) const {
  mach::tl_exception_ports_out old;
  old.capacity = mach::EXC_TYPES_COUNT;
  mach::kern_return_t kr = mach::tl_thread_swap_exception_ports(thread, mask_, port_, behavior_, flavor_, &old);
  if (kr != mach::KERN_SUCCESS) return tlcrash_populate_mach_error(kr, "Failed to swap mach exception ports");
  auto set = TLCrashMachExceptionPortSet::initWithAsyncSafeRepresentation(fixedForm(old));
  if (previous != nullptr) *previous = std::make_shared<TLCrashMachExceptionPortSet>(std::move(set));
  return TLCrashOk{};
}

}  // namespace ml::crash
