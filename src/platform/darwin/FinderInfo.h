#pragma once
// The 32-byte Finder information of an item, kept in the attribute "com.apple.FinderInfo".
// For files its first eight bytes are the type and creator codes; for folders they are the
// window bounds. Both share the Finder flags word at bytes 8-9 (big-endian):
//   0x8000 alias, 0x4000 invisible, 0x2000 has bundle (a package), 0x0800 stationery,
//   0x0010 extension hidden, 0x000E label colour index.
// A missing attribute reads as all zeros; an all-zero value is not stored (the attribute is
// removed instead), as the original platform does.
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

#include "platform/darwin/FourCharCode.h"
#include "platform/foundation/Result.h"

namespace ml::darwin {

class FinderInfo {
 public:
  static constexpr uint16_t kIsAlias = 0x8000;
  static constexpr uint16_t kIsInvisible = 0x4000;
  static constexpr uint16_t kHasBundle = 0x2000;
  static constexpr uint16_t kIsStationery = 0x0800;
  static constexpr uint16_t kIsExtensionHidden = 0x0010;

  FinderInfo() = default;
  // The first 32 bytes of `bytes`; a shorter value is padded with zeros.
  static FinderInfo fromBytes(std::span<const uint8_t> bytes);

  const std::array<uint8_t, 32>& bytes() const { return bytes_; }
  bool isZero() const;

  FourCharCode typeCode() const { return code(0); }
  FourCharCode creatorCode() const { return code(4); }
  void setTypeCode(FourCharCode value) { setCode(0, value); }
  void setCreatorCode(FourCharCode value) { setCode(4, value); }

  uint16_t flags() const { return static_cast<uint16_t>(bytes_[8] << 8 | bytes_[9]); }
  bool hasFlag(uint16_t flag) const { return (flags() & flag) != 0; }
  void setFlag(uint16_t flag, bool on);
  int labelIndex() const { return (flags() >> 1) & 7; }

  friend bool operator==(const FinderInfo&, const FinderInfo&) = default;

 private:
  FourCharCode code(size_t offset) const;
  void setCode(size_t offset, FourCharCode value);
  std::array<uint8_t, 32> bytes_ = {};
};

// The item's Finder information, not following a symbolic link at the path (a link has none);
// nullopt when the item has no such attribute.
foundation::Result<std::optional<FinderInfo>> readFinderInfo(const std::filesystem::path& item);

// Stores `info`, or removes the attribute when `info` is all zeros (a missing one is fine).
foundation::Status writeFinderInfo(const std::filesystem::path& item, const FinderInfo& info);

}  // namespace ml::darwin
