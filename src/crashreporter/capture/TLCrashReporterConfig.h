#pragma once
// The crash reporter's configuration: how crashes are caught, whether symbols are looked up at
// crash time, and whether uncaught exceptions are recorded. An immutable value.
#include <cstdint>

namespace ml::crash {

enum TLCrashReporterSignalHandlerType : uint64_t {
  TLCrashReporterSignalHandlerTypeBSD = 0,   // POSIX signal handlers for the six monitored signals
  TLCrashReporterSignalHandlerTypeMach = 1,  // the exception server, plus a signal handler for SIGABRT only
};

// Bit mask; 0 looks nothing up at crash time.
enum TLCrashReporterSymbolicationStrategy : uint64_t {
  TLCrashReporterSymbolicationStrategyNone = 0,
  TLCrashReporterSymbolicationStrategySymbolTable = 1 << 0,
  TLCrashReporterSymbolicationStrategyObjC = 1 << 1,
  TLCrashReporterSymbolicationStrategyAll = (1 << 0) | (1 << 1),
};

class TLCrashReporterConfig {
 public:
  // BSD handlers, no symbolication, uncaught-exception hook on.
  TLCrashReporterConfig() = default;
  TLCrashReporterConfig(uint64_t signalHandlerType, uint64_t symbolicationStrategy)
      : signalHandlerType_(signalHandlerType), symbolicationStrategy_(symbolicationStrategy) {}
  TLCrashReporterConfig(uint64_t signalHandlerType, uint64_t symbolicationStrategy,
                        bool shouldRegisterUncaughtExceptionHandler)
      : signalHandlerType_(signalHandlerType),
        symbolicationStrategy_(symbolicationStrategy),
        shouldRegisterUncaughtExceptionHandler_(shouldRegisterUncaughtExceptionHandler) {}

  static TLCrashReporterConfig defaultConfiguration() { return {}; }

  // Any value other than the two types installs no handler at all.
  uint64_t signalHandlerType() const { return signalHandlerType_; }
  uint64_t symbolicationStrategy() const { return symbolicationStrategy_; }
  bool shouldRegisterUncaughtExceptionHandler() const { return shouldRegisterUncaughtExceptionHandler_; }

 private:
  uint64_t signalHandlerType_ = TLCrashReporterSignalHandlerTypeBSD;
  uint64_t symbolicationStrategy_ = TLCrashReporterSymbolicationStrategyNone;
  bool shouldRegisterUncaughtExceptionHandler_ = true;
};

}  // namespace ml::crash
