#include "crashreporter/Sysctl.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace ml::crash {
namespace {

bool validName(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos) return false;
  std::istringstream parts(name);
  std::string part;
  while (std::getline(parts, part, '.')) {
    if (part.empty()) return false;  // leading, trailing or doubled dots (".." included)
  }
  return name.back() != '.';
}

}  // namespace

std::optional<std::string> tlcrash_sysctl_string(const char* name) {
  std::string dotted = name != nullptr ? name : "";
  if (!validName(dotted)) {
    errno = EINVAL;
    return std::nullopt;
  }
  std::string path = "/proc/sys/" + dotted;
  for (char& c : path) {
    if (c == '.') c = '/';
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (errno == 0) errno = ENOENT;
    return std::nullopt;
  }
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) {
    errno = EIO;
    return std::nullopt;
  }
  std::string value = content.str();
  if (!value.empty() && value.back() == '\n') value.pop_back();
  return value;
}

bool tlcrash_sysctl_int(const char* name, int32_t* result) {
  auto text = tlcrash_sysctl_string(name);
  if (!text) return false;
  if (text->empty()) {
    errno = EINVAL;
    return false;
  }
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(text->c_str(), &end, 10);
  if (errno != 0 || end == text->c_str() || *end != 0 || value < INT32_MIN || value > INT32_MAX) {
    errno = EINVAL;
    return false;
  }
  *result = static_cast<int32_t>(value);
  return true;
}

size_t tlcrash_sysctl_valid_utf8_bytes_max(const uint8_t* bytes, size_t max_length) {
  size_t i = 0;
  if (max_length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) i = 3;

  while (i < max_length && bytes[i] != 0) {
    uint8_t lead = bytes[i];
    size_t continuation;
    if (lead < 0x80) continuation = 0;
    else if ((lead & 0xE0) == 0xC0) continuation = 1;
    else if ((lead & 0xF0) == 0xE0) continuation = 2;
    else if ((lead & 0xF8) == 0xF0) continuation = 3;
    else break;

    if (max_length - i - 1 < continuation) break;
    bool valid = true;
    for (size_t k = 1; k <= continuation; ++k) {
      uint8_t c = bytes[i + k];
      if (c == 0 || (c & 0xC0) != 0x80) {
        valid = false;
        break;
      }
    }
    if (!valid) break;
    i += 1 + continuation;
  }
  return i;
}

size_t tlcrash_sysctl_valid_utf8_bytes(const uint8_t* bytes) {
  size_t n = 0;
  while (bytes[n] != 0) ++n;
  return tlcrash_sysctl_valid_utf8_bytes_max(bytes, n);
}

}  // namespace ml::crash
