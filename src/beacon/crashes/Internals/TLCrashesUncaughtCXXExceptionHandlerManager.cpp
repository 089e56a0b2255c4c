#include "beacon/crashes/Internals/TLCrashesUncaughtCXXExceptionHandlerManager.h"

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

bool isThrowMachinery(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_sname == nullptr) return false;
  return std::strcmp(info.dli_sname, "__cxa_throw") == 0 || std::strcmp(info.dli_sname, "__cxa_rethrow") == 0 ||
         std::strcmp(info.dli_sname, "_ZSt17rethrow_exceptionNSt15__exception_ptr13exception_ptrE") == 0;
}

// Index of the first frame after the runtime's throw, so the record starts in the function that
// threw; without a recognised throw frame only the capture's own frame is dropped.
int firstThrowerFrame(void* const* frames, int count) {
  for (int i = 0; i < count; ++i) {
    if (isThrowMachinery(frames[i])) return i + 1;
  }
  return std::min(count, 1);
}

}  // namespace

void TLCrashesUncaughtCXXExceptionHandlerManager::addCXXExceptionHandler(TLCrashesUncaughtCXXExceptionHandler handler) {
  auto& s = state();
  std::lock_guard lock(s.lock);
  if (!s.installed) {
    s.previous = std::set_terminate(ourTerminate);
    s.installed = true;
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
  void* frames[kMaxFrames] = {};
  const int count = backtrace(frames, kMaxFrames);
  const int first = firstThrowerFrame(frames, count);
  std::uintptr_t addresses[kMaxFrames] = {};
  for (int i = first; i < count; ++i) addresses[i - first] = reinterpret_cast<std::uintptr_t>(frames[i]);

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
