#pragma once
// Waiting for something another process or thread does, with a bound as a safety net.
#include <chrono>
#include <functional>

namespace ml::test {

// Polls `done` every few milliseconds until it holds or `limit` passes; false after `limit`.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(60));

}  // namespace ml::test
