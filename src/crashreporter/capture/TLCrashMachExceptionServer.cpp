#include "crashreporter/capture/TLCrashMachExceptionServer.h"

#include <cerrno>
#include <chrono>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncFormat.h"
#include "crashreporter/AsyncString.h"
#include "crashreporter/capture/ReporterLog.h"
#include "crashreporter/capture/platform/ExceptionMessages.h"
#include "crashreporter/capture/platform/MachPortSpace.h"

namespace ml::crash {
namespace {

using namespace mach;

// How long the stop message may wait for room in the notify port's queue.
constexpr uint64_t kStopSendTimeoutNs = 5ull * 1000 * 1000 * 1000;
// How long a reply may wait for room (reply ports hold one message, so it never waits).
constexpr uint64_t kReplySendTimeoutNs = 0;

size_t roundToPages(size_t size) {
  long page = ::sysconf(_SC_PAGESIZE);
  size_t p = page > 0 ? static_cast<size_t>(page) : 4096;
  return (size + p - 1) / p * p;
}

// The receive buffer: anonymous pages, the stand-in for vm_allocate. Null on failure.
uint8_t* allocateBuffer(size_t size) {
  void* memory = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return memory == MAP_FAILED ? nullptr : static_cast<uint8_t*>(memory);
}

// "Unexpected error in vm_allocate(): ..." on standard error, formatted without allocating.
void reportAllocationFailure(const char* format, int error) {
  char line[96];
  size_t length = tlcrash_async_format(line, sizeof(line), format, error);
  tlcrash_async_writen(2, line, length);
}

void markStopped(tlcrash_exception_server_context* context) {
  {
    std::lock_guard<std::mutex> lock(context->lock);
    context->stop_done = true;
  }
  context->condition.notify_all();
}

// The server loop (exception_server_thread). Async-signal-safe apart from the start handshake
// and the stop handshake, which take the context's lock outside any exception.
void* exceptionServerThread(void* argument) {
  auto* context = static_cast<tlcrash_exception_server_context*>(argument);
  {
    std::lock_guard<std::mutex> lock(context->lock);
    context->server_thread = tl_mach_thread_self();
    context->thread_started = true;
  }
  context->condition.notify_all();

  size_t size = roundToPages(kExceptionRequestSize);
  uint8_t* buffer = allocateBuffer(size);
  if (buffer == nullptr) {
    reportAllocationFailure("Unexpected error in vm_allocate(): %x\n", errno);
    markStopped(context);
    return nullptr;
  }

  for (;;) {
    uint32_t received = 0;
    kern_return_t kr = tl_mach_msg_receive(context->port_set, buffer, static_cast<uint32_t>(size), &received,
                                           kWaitForever);
    if (kr == MACH_RCV_TOO_LARGE) {
      ::munmap(buffer, size);
      size = roundToPages(received);
      buffer = allocateBuffer(size);
      if (buffer == nullptr) {
        reportAllocationFailure("Unexpected error in vm_allocate(): 0x%x\n", errno);
        markStopped(context);
        return nullptr;
      }
      continue;
    }
    if (kr == MACH_RCV_INVALID_NAME || kr == MACH_RCV_PORT_DIED) {
      // The port set is gone: nothing can arrive any more, so waiting on would only spin.
      TLCRASH_DIAG("Unexpected error in mach_msg(): 0x%x", static_cast<unsigned>(kr));
      ::munmap(buffer, size);
      markStopped(context);
      return nullptr;
    }
    if (kr != MACH_MSG_SUCCESS) {
      TLCRASH_DIAG("Unexpected error in mach_msg(): 0x%x", static_cast<unsigned>(kr));
      continue;
    }

    mach_msg_header_t header;
    tlcrash_async_memcpy(&header, buffer, sizeof(header));
    if (header.local_port == context->notify_port) {
      if (header.id == MACH_NOTIFY_NO_SENDERS) continue;
      if (header.id == kExceptionServerStopId && context->stop_requested.load() != 0) {
        ::munmap(buffer, size);
        markStopped(context);
        return nullptr;
      }
      // Anything else on the notify port is treated as an exception request.
    }

    kern_return_t verdict;
    if (received < kExceptionRequestSize) {
      TLCRASH_DIAG("Unexpected message size of %llu", static_cast<unsigned long long>(received));
      verdict = KERN_FAILURE;
    } else {
      auto thread = static_cast<tlcrash_thread_t>(tl_msg_read_u32(buffer, kExceptionRequestThreadOffset));
      auto task = static_cast<tlcrash_task_t>(tl_msg_read_u32(buffer, kExceptionRequestTaskOffset));
      auto type = static_cast<exception_type_t>(tl_msg_read_u32(buffer, kExceptionRequestTypeOffset));
      uint32_t count = tl_msg_read_u32(buffer, kExceptionRequestCountOffset);
      // Never more codes than the message holds.
      uint32_t room = (received - kExceptionRequestCodesOffset) / 8;
      if (count > room) count = room;
      if (count > kMaxExceptionCodes) count = kMaxExceptionCodes;
      mach_exception_data_type_t codes[kMaxExceptionCodes] = {};
      for (uint32_t i = 0; i < count; ++i) codes[i] = tl_msg_read_i64(buffer, kExceptionRequestCodesOffset + 8 * i);
      verdict = context->callback(task, thread, type, codes, count, context->callback_context);
    }

    if (MACH_PORT_VALID(header.remote_port)) {
      uint8_t reply[kExceptionReplySize];
      uint32_t reply_size = tl_exception_reply_encode(header, verdict, reply);
      kern_return_t sent = tl_mach_msg_send(reply, reply_size, kReplySendTimeoutNs);
      if (sent != MACH_MSG_SUCCESS) {
        TLCRASH_DIAG("Unexpected failure replying to Mach exception message: 0x%x", static_cast<unsigned>(sent));
      }
    }
  }
}

}  // namespace

void TLCrashMachExceptionServer::releasePorts(tlcrash_exception_server_context* context) {
  if (context->server_port != MACH_PORT_NULL) tl_mach_port_destroy(context->server_port);
  if (context->notify_port != MACH_PORT_NULL) {
    tl_mach_port_mod_send_refs(context->notify_port, -1);  // our own send right
    tl_mach_port_destroy(context->notify_port);
  }
  if (context->port_set != MACH_PORT_NULL) tl_mach_port_destroy(context->port_set);
  context->server_port = context->notify_port = context->port_set = MACH_PORT_NULL;
}

Result<std::shared_ptr<TLCrashMachExceptionServer>> TLCrashMachExceptionServer::initWithCallBack(
    TLCrashMachExceptionServerCallback callback, void* callback_context) {
  auto context = std::make_unique<tlcrash_exception_server_context>();
  context->callback = callback;
  context->callback_context = callback_context;

  auto fail = [&](TLCrashReporterError error) -> Result<std::shared_ptr<TLCrashMachExceptionServer>> {
    releasePorts(context.get());
    return error;
  };

  kern_return_t kr = tl_mach_port_allocate_receive(&context->server_port);
  if (kr == KERN_SUCCESS) kr = tl_mach_port_allocate_receive(&context->notify_port);
  if (kr != KERN_SUCCESS) return fail(tlcrash_populate_mach_error(kr, "Failed to allocate exception server's port"));
  kr = tl_mach_port_insert_send_right(context->notify_port);
  if (kr != KERN_SUCCESS) {
    return fail(tlcrash_populate_mach_error(kr, "Failed to add send right to exception server's port"));
  }
  kr = tl_mach_port_request_no_senders(context->server_port, context->notify_port);
  if (kr != KERN_SUCCESS) {
    return fail(tlcrash_populate_mach_error(
        kr, "Failed to request MACH_NOTIFY_NO_SENDERS on the exception server's port"));
  }
  kr = tl_mach_port_allocate_set(&context->port_set);
  if (kr != KERN_SUCCESS) return fail(tlcrash_populate_mach_error(kr, "Failed to allocate exception server's port set"));
  kr = tl_mach_port_move_member(context->server_port, context->port_set);
  if (kr != KERN_SUCCESS) return fail(tlcrash_populate_mach_error(kr, "Failed to add exception server port to port set"));
  kr = tl_mach_port_move_member(context->notify_port, context->port_set);
  if (kr != KERN_SUCCESS) {
    return fail(tlcrash_populate_mach_error(kr, "Failed to add exception server notify port to port set"));
  }

  pthread_attr_t attributes;
  int error = ::pthread_attr_init(&attributes);
  if (error != 0) return fail(tlcrash_populate_posix_error(error, "Failed to initialize pthread_attr"));
  ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  error = ::pthread_create(&thread, &attributes, exceptionServerThread, context.get());
  ::pthread_attr_destroy(&attributes);
  if (error != 0) return fail(tlcrash_populate_posix_error(error, "Failed to create exception server thread"));

  {
    std::unique_lock<std::mutex> lock(context->lock);
    context->condition.wait_for(lock, std::chrono::milliseconds(kExceptionServerStopWaitMs),
                                [&] { return context->thread_started; });
  }
  auto server = std::make_shared<TLCrashMachExceptionServer>(PassKey{});
  server->context_ = std::move(context);
  return server;
}

TLCrashMachExceptionServer::~TLCrashMachExceptionServer() {
  if (!context_) return;
  uint32_t expected = 0;
  context_->stop_requested.compare_exchange_strong(expected, 1);

  mach_msg_header_t stop{};
  stop.bits = MACH_MSGH_BITS(MACH_MSG_TYPE_COPY_SEND, MACH_MSG_TYPE_MAKE_SEND_ONCE);
  stop.size = sizeof(stop);
  stop.remote_port = context_->notify_port;
  stop.local_port = MACH_PORT_NULL;
  stop.id = kExceptionServerStopId;
  kern_return_t kr = tl_mach_msg_send(&stop, sizeof(stop), kStopSendTimeoutNs);
  if (kr != MACH_MSG_SUCCESS) {
    tlcrash_nasync_log("Unexpected error sending termination message to background thread: %d", kr);
    (void)context_.release();  // the thread may still use the context: it stays
    return;
  }

  std::unique_lock<std::mutex> lock(context_->lock);
  if (context_->thread_started &&
      !context_->condition.wait_for(lock, std::chrono::milliseconds(kExceptionServerStopWaitMs),
                                    [&] { return context_->stop_done; })) {
    lock.unlock();
    tlcrash_nasync_log("The exception server thread did not stop; leaving it its context");
    (void)context_.release();
    return;
  }
  lock.unlock();
  releasePorts(context_.get());
}

tlcrash_thread_t TLCrashMachExceptionServer::serverThread() const {
  std::lock_guard<std::mutex> lock(context_->lock);
  return context_->server_thread;
}

Result<mach_port_t> TLCrashMachExceptionServer::copySendRightForServer() const {
  std::lock_guard<std::mutex> lock(context_->lock);
  kern_return_t kr = tl_mach_port_insert_send_right(context_->server_port);
  if (kr != KERN_SUCCESS) return tlcrash_populate_mach_error(kr, "Failed to insert Mach send right");
  return context_->server_port;
}

Result<TLCrashMachExceptionPort> TLCrashMachExceptionServer::exceptionPortWithMask(exception_mask_t mask) const {
  Result<mach_port_t> right = copySendRightForServer();
  if (!right) return right.error();
  mach_port_t port = right.value();
  if (!MACH_PORT_VALID(port)) {
    return tlcrash_populate_mach_error(KERN_INVALID_NAME, "Failed to insert Mach send right");
  }
  TLCrashMachExceptionPort registration(port, mask, EXCEPTION_DEFAULT | MACH_EXCEPTION_CODES, x86_THREAD_STATE);
  tl_mach_port_mod_send_refs(port, -1);  // the registration holds its own reference
  return registration;
}

}  // namespace ml::crash
