#pragma once
// Inflates a gzip stream (the bodies the telemetry client sends), for checks on what a server
// received. Empty when the data is not one complete gzip stream.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ml::test {

std::string gunzip(std::string_view data);
inline std::string gunzip(const std::vector<std::uint8_t>& data) {
  return gunzip(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

}  // namespace ml::test
