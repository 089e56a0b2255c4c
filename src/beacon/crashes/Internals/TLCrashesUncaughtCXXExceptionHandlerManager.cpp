#include "beacon/crashes/Internals/TLCrashesUncaughtCXXExceptionHandlerManager.h"

#include "beacon/crashes/Internals/TLCrashesCXXThrowHook.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <typeinfo>
#include <vector>

namespace ml::beacon {

namespace {

struct State {
  std::mutex lock;
  std::vector<TLCrashesUncaughtCXXExceptionHandler> handlers;
  bool installed = false;
  std::terminate_handler previous = nullptr;
};

State& state() {
  // Never destroyed: a terminate during exit must still find it.
  static State* instance = new State;  // NOLINT: process-wide state that outlives static destruction
  return *instance;
}

void ourTerminate() { TLCrashesUncaughtCXXExceptionHandlerManager::terminateHandler(); }

// Images of the C++ runtime and its unwinder: their frames between the handler and the thrower
// are terminate and throw machinery.
bool isRuntimeFrame(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return false;
  const char* slash = std::strrchr(info.dli_fname, '/');
  const char* name = slash ? slash + 1 : info.dli_fname;
  for (const char* prefix : {"libstdc++.", "libgcc_s.", "libc++.", "libc++abi.", "libunwind."}) {
    if (std::strncmp(name, prefix, std::strlen(prefix)) == 0) return true;
  }
  return false;
}

// Index of the first frame after the handler's own frames and the runtime's, so the record
// starts in the function that threw; without runtime frames only the capture's own frame is
// dropped.
int firstThrowerFrame(void* const* frames, int count) {
  int i = 0;
  while (i < count && !isRuntimeFrame(frames[i])) ++i;
  if (i == count) return std::min(count, 1);
  while (i < count && isRuntimeFrame(frames[i])) ++i;
  return i;
}

// The thrown object an exception_ptr refers to: both C++ runtimes keep exactly that pointer.
const void* thrownObjectOf(const std::exception_ptr& exception) {
  static_assert(sizeof(std::exception_ptr) == sizeof(void*));
  const void* object = nullptr;
  std::memcpy(&object, static_cast<const void*>(&exception), sizeof object);
  return object;
}

}  // namespace

void TLCrashesUncaughtCXXExceptionHandlerManager::addCXXExceptionHandler(TLCrashesUncaughtCXXExceptionHandler handler) {
  auto& s = state();
  std::lock_guard lock(s.lock);
  if (!s.installed) {
    s.previous = std::set_terminate(ourTerminate);
    s.installed = true;
    tlcrashes_set_throw_capture(true);
  }
  s.handlers.push_back(handler);
}

void TLCrashesUncaughtCXXExceptionHandlerManager::removeCXXExceptionHandler(
    TLCrashesUncaughtCXXExceptionHandler handler) {
  auto& s = state();
  std::lock_guard lock(s.lock);
  auto found = std::find(s.handlers.begin(), s.handlers.end(), handler);
  if (found != s.handlers.end()) s.handlers.erase(found);
  if (s.installed && s.handlers.empty()) {
    std::terminate_handler replaced = std::set_terminate(s.previous);
    if (replaced == ourTerminate) {
      s.installed = false;
      s.previous = nullptr;
      tlcrashes_set_throw_capture(false);
    } else {
      // Someone installed a handler after ours: leave theirs in place.
      std::set_terminate(replaced);
    }
  }
}

std::size_t TLCrashesUncaughtCXXExceptionHandlerManager::countCXXExceptionHandler() {
  auto& s = state();
  std::lock_guard lock(s.lock);
  return s.handlers.size();
}

bool TLCrashesUncaughtCXXExceptionHandlerManager::describeCurrentException(
    void (*deliver)(const TLCrashesUncaughtCXXExceptionInfo*, void*), void* context) {
  std::exception_ptr current = std::current_exception();
  if (!current) return false;
  std::uintptr_t addresses[kMaxFrames] = {};
  int first = 0;
  int count = 0;
  const TLCrashesThrowRecord* record = tlcrashes_current_thread_throw_record();
  if (record && record->thrownObject && record->thrownObject == thrownObjectOf(current)) {
    count = record->frameCount;
    first = std::min(count, record->throwerFrame);
    for (int i = first; i < count; ++i) addresses[i - first] = reinterpret_cast<std::uintptr_t>(record->frames[i]);
  } else {
    void* frames[kMaxFrames] = {};
    count = backtrace(frames, kMaxFrames);
    first = firstThrowerFrame(frames, count);
    for (int i = first; i < count; ++i) addresses[i - first] = reinterpret_cast<std::uintptr_t>(frames[i]);
  }

  TLCrashesUncaughtCXXExceptionInfo info;
  info.exceptionHolder = &current;
  const std::type_info* type = abi::__cxa_current_exception_type();
  info.typeName = type ? type->name() : "";
  info.frameCount = static_cast<std::uint32_t>(count - first);
  info.frames = addresses;
  try {
    std::rethrow_exception(current);
  } catch (const std::exception& e) {
    info.message = e.what();
    deliver(&info, context);
  } catch (const std::exception* e) {
    info.message = e ? e->what() : nullptr;
    deliver(&info, context);
  } catch (const std::string& text) {
    info.message = text.c_str();
    deliver(&info, context);
  } catch (const std::string* text) {
    info.message = text ? text->c_str() : nullptr;
    deliver(&info, context);
  } catch (const char* text) {
    info.message = text;
    deliver(&info, context);
  } catch (...) {
    info.message = nullptr;
    deliver(&info, context);
  }
  return true;
}

void TLCrashesUncaughtCXXExceptionHandlerManager::terminateHandler() {
  auto& s = state();
  std::terminate_handler previous = nullptr;
  {
    std::lock_guard lock(s.lock);
    previous = s.previous;
    describeCurrentException(
        [](const TLCrashesUncaughtCXXExceptionInfo* info, void* context) {
          for (auto handler : static_cast<State*>(context)->handlers) handler(info);
        },
        &s);
  }
  if (previous) previous();
  std::abort();
}

TLCrashesCXXExceptionWrapperException TLCrashesCXXExceptionWrapperException::fromInfo(
    const TLCrashesUncaughtCXXExceptionInfo& info) {
  TLCrashesCXXExceptionWrapperException wrapper;
  const char* mangled = info.typeName ? info.typeName : "";
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  wrapper.name = status == 0 && demangled ? demangled : mangled;
  std::free(demangled);
  wrapper.reason = info.message ? info.message : "";
  if (info.frames) wrapper.callStackReturnAddresses.assign(info.frames, info.frames + info.frameCount);
  return wrapper;
}

}  // namespace ml::beacon
