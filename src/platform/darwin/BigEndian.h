#pragma once
// Integers read out of byte buffers (fork headers, resource maps, Finder info). No reader ever
// touches a byte past the end of the span it is given.
//
// int16FromBytes/int32FromBytes take the first two/four bytes; when the data is shorter, the
// bytes present fill the integer's storage from its first byte and the rest are zero (so empty
// data is 0). The checked readers answer nullopt when the field does not lie wholly inside the
// data, and never overflow when adding offset and width.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace ml::darwin {

enum class ByteOrder { bigEndian, littleEndian };

namespace detail {
template <class T>
T integerFromBytes(std::span<const uint8_t> data, ByteOrder order) {
  using U = std::make_unsigned_t<T>;
  constexpr std::size_t width = sizeof(T);
  uint8_t storage[width] = {};
  for (std::size_t i = 0; i < width && i < data.size(); ++i) storage[i] = data[i];
  U value = 0;
  for (std::size_t i = 0; i < width; ++i) {
    const std::size_t index = order == ByteOrder::bigEndian ? i : width - 1 - i;
    value = static_cast<U>((value << 8) | storage[index]);
  }
  return static_cast<T>(value);
}

template <class T>
std::optional<T> readBigEndian(std::span<const uint8_t> data, std::size_t offset,
                               std::size_t width = sizeof(T)) {
  if (offset > data.size() || data.size() - offset < width) return std::nullopt;
  std::make_unsigned_t<T> value = 0;
  for (std::size_t i = 0; i < width; ++i)
    value = static_cast<std::make_unsigned_t<T>>((value << 8) | data[offset + i]);
  return static_cast<T>(value);
}
}  // namespace detail

inline int16_t int16FromBytes(std::span<const uint8_t> data, ByteOrder order = ByteOrder::bigEndian) {
  return detail::integerFromBytes<int16_t>(data, order);
}
inline int32_t int32FromBytes(std::span<const uint8_t> data, ByteOrder order = ByteOrder::bigEndian) {
  return detail::integerFromBytes<int32_t>(data, order);
}

inline std::optional<uint8_t> readU8(std::span<const uint8_t> data, std::size_t offset) {
  return detail::readBigEndian<uint8_t>(data, offset);
}
inline std::optional<uint16_t> readU16BE(std::span<const uint8_t> data, std::size_t offset) {
  return detail::readBigEndian<uint16_t>(data, offset);
}
inline std::optional<int16_t> readI16BE(std::span<const uint8_t> data, std::size_t offset) {
  return detail::readBigEndian<int16_t>(data, offset);
}
// Three bytes, most significant first (resource data offsets).
inline std::optional<uint32_t> readU24BE(std::span<const uint8_t> data, std::size_t offset) {
  return detail::readBigEndian<uint32_t>(data, offset, 3);
}
inline std::optional<uint32_t> readU32BE(std::span<const uint8_t> data, std::size_t offset) {
  return detail::readBigEndian<uint32_t>(data, offset);
}
inline std::optional<int32_t> readI32BE(std::span<const uint8_t> data, std::size_t offset) {
  return detail::readBigEndian<int32_t>(data, offset);
}

}  // namespace ml::darwin
