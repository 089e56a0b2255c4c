#pragma once
// A 128-bit universally unique identifier. random() makes a version 4 UUID from the system's
// cryptographic random source; string() is the upper-case 8-4-4-4-12 form
// ("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"); parse() accepts either case.
#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ml::foundation {

class Uuid {
 public:
  using Bytes = std::array<std::uint8_t, 16>;

  Uuid() = default;  // all zero
  explicit Uuid(const Bytes& bytes) : bytes_(bytes) {}

  static Uuid random();
  static std::optional<Uuid> parse(std::string_view text);

  const Bytes& bytes() const { return bytes_; }
  std::string string() const;
  int version() const { return bytes_[6] >> 4; }

  friend auto operator<=>(const Uuid&, const Uuid&) = default;

 private:
  Bytes bytes_{};
};

}  // namespace ml::foundation

template <>
struct std::hash<ml::foundation::Uuid> {
  std::size_t operator()(const ml::foundation::Uuid& uuid) const noexcept {
    std::size_t h = 0;
    for (auto b : uuid.bytes()) h = h * 131 + b;
    return h;
  }
};
