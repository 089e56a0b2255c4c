#include "platform/darwin/FinderInfo.h"

#include <sys/xattr.h>

#include <algorithm>
#include <cerrno>

#include "platform/darwin/ExtendedAttributes.h"
#include "platform/darwin/SizedRead.h"

namespace ml::darwin {

using foundation::Error;

namespace {
const std::string kFinderInfoName = linuxAttributeName("com.apple.FinderInfo");
}

FinderInfo FinderInfo::fromBytes(std::span<const uint8_t> bytes) {
  FinderInfo info;
  std::copy_n(bytes.begin(), std::min(bytes.size(), info.bytes_.size()), info.bytes_.begin());
  return info;
}

bool FinderInfo::isZero() const {
  return std::all_of(bytes_.begin(), bytes_.end(), [](uint8_t b) { return b == 0; });
}

void FinderInfo::setFlag(uint16_t flag, bool on) {
  const uint16_t value = on ? (flags() | flag) : (flags() & ~flag);
  bytes_[8] = static_cast<uint8_t>(value >> 8);
  bytes_[9] = static_cast<uint8_t>(value);
}

FourCharCode FinderInfo::code(size_t offset) const {
  return FourCharCode{bytes_[offset]} << 24 | FourCharCode{bytes_[offset + 1]} << 16 |
         FourCharCode{bytes_[offset + 2]} << 8 | bytes_[offset + 3];
}

void FinderInfo::setCode(size_t offset, FourCharCode value) {
  for (size_t i = 0; i < 4; ++i) bytes_[offset + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

foundation::Result<std::optional<FinderInfo>> readFinderInfo(const std::filesystem::path& item) {
  auto bytes = sizedRead([&](uint8_t* buffer, size_t size) {
    return ::lgetxattr(item.c_str(), kFinderInfoName.c_str(), buffer, size);
  });
  if (!bytes) {
    // ENODATA: no attribute. EPERM/ENOTSUP: a symbolic link or a file system without user
    // attributes, which cannot hold Finder information either.
    const int code = bytes.error().code;
    if (code == ENODATA || code == ENOTSUP || code == EPERM) return std::optional<FinderInfo>();
    return bytes.error();
  }
  return std::optional<FinderInfo>(FinderInfo::fromBytes(bytes.value()));
}

foundation::Status writeFinderInfo(const std::filesystem::path& item, const FinderInfo& info) {
  if (info.isZero()) {
    if (::lremovexattr(item.c_str(), kFinderInfoName.c_str()) != 0 && errno != ENODATA)
      return Error::posix(errno);
    return {};
  }
  if (::lsetxattr(item.c_str(), kFinderInfoName.c_str(), info.bytes().data(), info.bytes().size(), 0) != 0)
    return Error::posix(errno);
  return {};
}

}  // namespace ml::darwin
