#pragma once
// Names the calling thread for debuggers and crash reports (Linux keeps 15 characters).
#include <string_view>

namespace ml::dispatch::detail {

void setCurrentThreadName(std::string_view name);

}  // namespace ml::dispatch::detail
