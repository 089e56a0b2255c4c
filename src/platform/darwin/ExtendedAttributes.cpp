#include "platform/darwin/ExtendedAttributes.h"

#include <sys/xattr.h>
#include <linux/limits.h>

#include <cerrno>
#include <cstring>

#include "platform/darwin/SizedRead.h"

namespace ml::darwin {

using foundation::Error;
using foundation::Result;
using foundation::Status;

namespace {

constexpr std::string_view kUserPrefix = "user.";

bool hasNul(std::string_view text) { return text.find('\0') != std::string_view::npos; }

}  // namespace

std::string linuxAttributeName(std::string_view name) {
  std::string full(kUserPrefix);
  full.append(name);
  return full;
}

Result<std::optional<Bytes>> readExtendedAttribute(const std::filesystem::path& file,
                                                   std::string_view name) {
  if (hasNul(name)) return Error::posix(EINVAL);
  const std::string linuxName = linuxAttributeName(name);
  auto bytes = sizedRead([&](uint8_t* buffer, size_t size) {
    return ::getxattr(file.c_str(), linuxName.c_str(), buffer, size);
  });
  if (!bytes) {
    if (bytes.error().isPosix(ENODATA)) return std::optional<Bytes>();
    return bytes.error();
  }
  return std::optional<Bytes>(std::move(bytes).value());
}

std::optional<Bytes> extendedAttribute(const std::filesystem::path& file, std::string_view name) {
  auto result = readExtendedAttribute(file, name);
  if (!result) return std::nullopt;
  return std::move(result).value();
}

std::optional<std::size_t> extendedAttributeSize(const char* file, std::string_view name) {
  // The Linux name on the stack: this runs once per file of a folder-size walk.
  char linuxName[XATTR_NAME_MAX + 1];
  if (hasNul(name) || kUserPrefix.size() + name.size() > XATTR_NAME_MAX) return std::nullopt;
  std::memcpy(linuxName, kUserPrefix.data(), kUserPrefix.size());
  std::memcpy(linuxName + kUserPrefix.size(), name.data(), name.size());
  linuxName[kUserPrefix.size() + name.size()] = '\0';
  const ssize_t size = ::getxattr(file, linuxName, nullptr, 0);
  if (size < 0) return std::nullopt;
  return static_cast<std::size_t>(size);
}

Status setExtendedAttribute(const std::filesystem::path& file, std::span<const uint8_t> data,
                            std::string_view name) {
  if (hasNul(name)) return Error::posix(EINVAL);
  const std::string linuxName = linuxAttributeName(name);
  if (::setxattr(file.c_str(), linuxName.c_str(), data.data(), data.size(), 0) != 0)
    return Error::posix(errno);
  return {};
}

Status removeExtendedAttribute(const std::filesystem::path& file, std::string_view name) {
  if (hasNul(name)) return Error::posix(EINVAL);
  const std::string linuxName = linuxAttributeName(name);
  if (::removexattr(file.c_str(), linuxName.c_str()) != 0) return Error::posix(errno);
  return {};
}

Result<std::vector<std::string>> listExtendedAttributes(const std::filesystem::path& file) {
  auto list = sizedRead([&](uint8_t* buffer, size_t size) {
    return ::listxattr(file.c_str(), reinterpret_cast<char*>(buffer), size);
  });
  if (!list) return list.error();
  std::vector<std::string> names;
  const auto& raw = list.value();
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = start;
    while (end < raw.size() && raw[end] != 0) ++end;
    std::string_view name(reinterpret_cast<const char*>(raw.data()) + start, end - start);
    if (name.size() > kUserPrefix.size() && name.substr(0, kUserPrefix.size()) == kUserPrefix)
      names.emplace_back(name.substr(kUserPrefix.size()));
    start = end + 1;
  }
  return names;
}

}  // namespace ml::darwin
