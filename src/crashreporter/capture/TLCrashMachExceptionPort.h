#pragma once
// One exception-port registration: a send right to the port that is told of exceptions, the mask
// of exception types, the behaviour (which message it gets) and the thread-state flavour. A value
// type: each object holds one user reference of a valid send right, copies take another, and the
// reference goes with the object. Registrations of the task or a thread are read and swapped
// through it (the swap fills a port set with the registrations it replaced).
//
// Normal context only; failures to change a reference are written to the system log.
#include <memory>

#include "crashreporter/AsyncMemory.h"
#include "crashreporter/capture/CrashReporterErrors.h"
#include "crashreporter/capture/platform/MachTypes.h"

namespace ml::crash {

class TLCrashMachExceptionPortSet;

class TLCrashMachExceptionPort {
 public:
  // Takes a reference of `port` when it is a valid name (neither null nor dead).
  TLCrashMachExceptionPort(mach::mach_port_t port, mach::exception_mask_t mask, mach::exception_behavior_t behavior,
                           mach::thread_state_flavor_t flavor);
  TLCrashMachExceptionPort(const TLCrashMachExceptionPort& other);
  TLCrashMachExceptionPort& operator=(const TLCrashMachExceptionPort& other);
  TLCrashMachExceptionPort(TLCrashMachExceptionPort&& other) noexcept;
  TLCrashMachExceptionPort& operator=(TLCrashMachExceptionPort&& other) noexcept;
  ~TLCrashMachExceptionPort();

  mach::mach_port_t server_port() const { return port_; }
  mach::exception_mask_t mask() const { return mask_; }
  mach::exception_behavior_t behavior() const { return behavior_; }
  mach::thread_state_flavor_t flavor() const { return flavor_; }

  // The task's or a thread's registrations for the types in `mask`. Error: code 1 "Failed to
  // fetch mach exception ports" with the kernel's return code.
  static Result<std::shared_ptr<TLCrashMachExceptionPortSet>> exceptionPortsForTask(tlcrash_task_t task,
                                                                                   mach::exception_mask_t mask);
  static Result<std::shared_ptr<TLCrashMachExceptionPortSet>> exceptionPortsForThread(tlcrash_thread_t thread,
                                                                                     mach::exception_mask_t mask);

  // Swaps this registration in for the task's (or the thread's) in one step. When `previous` is
  // given it receives the registrations that were replaced. Error: code 1 "Failed to swap mach
  // exception ports".
  TLCrashStatus registerForTask(tlcrash_task_t task, std::shared_ptr<TLCrashMachExceptionPortSet>* previous) const;
  TLCrashStatus registerForThread(tlcrash_thread_t thread,
                                  std::shared_ptr<TLCrashMachExceptionPortSet>* previous) const;

 private:
  void retain() const;
  void release() const;

  mach::exception_mask_t mask_;
  mach::mach_port_t port_;
  mach::exception_behavior_t behavior_;
  mach::thread_state_flavor_t flavor_;
};

}  // namespace ml::crash
