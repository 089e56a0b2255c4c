#include "platform/dispatch/detail/ThreadName.h"

#include <pthread.h>

#include <string>

namespace ml::dispatch::detail {

void setCurrentThreadName(std::string_view name) {
  std::string shortName(name.substr(0, 15));
  pthread_setname_np(pthread_self(), shortName.c_str());
}

}  // namespace ml::dispatch::detail
