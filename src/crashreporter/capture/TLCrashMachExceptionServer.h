#pragma once
// The exception server: a receive port that exception messages of the whole task arrive at, and
// a dedicated thread that answers them one at a time with the callback's verdict.
//
// Server loop (its own thread, detached; async-signal-safe once running: no allocation besides
// its receive buffer, which exists before any exception arrives):
//
//   receive on the port set {server port, notify port}
//     too large -> grow the buffer to the reported size (pages) and receive again
//     notify port: no-senders -> ignore; stop message while a stop was asked -> stop-done, end
//     shorter than an exception request (84 bytes) -> reply KERN_FAILURE
//     otherwise -> callback(task, thread, type, codes, count) and reply with its return code
//
// The faulting thread waits in the fault relay for the reply (FaultRelay.h), so it stays stopped
// while the callback runs. Setting up and stopping the server are normal-context operations.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "crashreporter/AsyncMemory.h"
#include "crashreporter/capture/CrashReporterErrors.h"
#include "crashreporter/capture/TLCrashMachExceptionPort.h"
#include "crashreporter/capture/platform/MachTypes.h"

namespace ml::crash {

// The server's callback; KERN_SUCCESS means handled. Runs on the server thread; must be
// async-signal-safe.
using TLCrashMachExceptionServerCallback = mach::kern_return_t (*)(tlcrash_task_t task, tlcrash_thread_t thread,
                                                                   mach::exception_type_t type,
                                                                   const mach::mach_exception_data_type_t* codes,
                                                                   uint32_t code_count, void* context);

// The id of the message that stops the server thread.
inline constexpr int32_t kExceptionServerStopId = static_cast<int32_t>(0xdeadbeef);

struct tlcrash_exception_server_context {
  tlcrash_thread_t server_thread = 0;
  mach::mach_port_t server_port = mach::MACH_PORT_NULL;
  mach::mach_port_t notify_port = mach::MACH_PORT_NULL;
  mach::mach_port_t port_set = mach::MACH_PORT_NULL;
  TLCrashMachExceptionServerCallback callback = nullptr;
  void* callback_context = nullptr;
  std::mutex lock;
  std::condition_variable condition;
  std::atomic<uint32_t> stop_requested{0};
  bool stop_done = false;     // under lock
  bool thread_started = false;  // under lock: the thread published its id
};

class TLCrashMachExceptionServer {
 public:
  // Builds the ports and starts the thread (and waits, bounded, until the thread has published
  // its id). Errors (code 1): Mach errors "Failed to allocate exception server's port", "Failed
  // to add send right to exception server's port", "Failed to request MACH_NOTIFY_NO_SENDERS on
  // the exception server's port", "Failed to allocate exception server's port set", "Failed to
  // add exception server port to port set", "Failed to add exception server notify port to port
  // set"; POSIX errors "Failed to initialize pthread_attr", "Failed to create exception server
  // thread". A half-built server's ports are released again.
  static Result<std::shared_ptr<TLCrashMachExceptionServer>> initWithCallBack(TLCrashMachExceptionServerCallback callback,
                                                                             void* context);
  // Asks the thread to stop, waits (bounded) until it did, then releases the ports. When the stop
  // message cannot be sent or the thread does not answer, the context is left to the thread.
  ~TLCrashMachExceptionServer();

  TLCrashMachExceptionServer(const TLCrashMachExceptionServer&) = delete;
  TLCrashMachExceptionServer& operator=(const TLCrashMachExceptionServer&) = delete;

  // The server thread's id.
  tlcrash_thread_t serverThread() const;
  // A new user reference of a send right to the server port. Error: "Failed to insert Mach send
  // right".
  Result<mach::mach_port_t> copySendRightForServer() const;
  // A registration of the server port for `mask` (behaviour EXCEPTION_DEFAULT |
  // MACH_EXCEPTION_CODES, flavour x86_THREAD_STATE).
  Result<TLCrashMachExceptionPort> exceptionPortWithMask(mach::exception_mask_t mask) const;

 private:
  struct PassKey {
    explicit PassKey() = default;
  };

 public:
  explicit TLCrashMachExceptionServer(PassKey) {}

 private:
  // Releases a half-built or stopped server's ports.
  static void releasePorts(tlcrash_exception_server_context* context);

  std::unique_ptr<tlcrash_exception_server_context> context_;
};

// How long stopping waits for the server thread to finish.
inline constexpr uint64_t kExceptionServerStopWaitMs = 5000;

}  // namespace ml::crash
