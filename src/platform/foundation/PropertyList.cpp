#include "platform/foundation/PropertyList.h"

#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>

#include "platform/foundation/BinaryPlistCheck.h"

namespace ml::foundation {

namespace {

using namespace std::chrono;

// 2001-01-01T00:00:00Z in Unix seconds: the origin of property-list dates.
constexpr std::int64_t kReferenceDateUnixSeconds = 978307200;

struct PlistDeleter {
  void operator()(void* node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// libplist hands out malloc'ed strings and iterators.
struct MallocDeleter {
  void operator()(void* p) const { std::free(p); }
};

// Decodes one UTF-8 sequence at `i`; the code point, or -1 for an invalid (overlong, surrogate,
// out-of-range or truncated) sequence. Advances `i` past what was read.
long nextCodePoint(std::string_view s, std::size_t& i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char lead = byte(i++);
  if (lead < 0x80) return lead;
  int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
  if (extra < 0 || lead > 0xF4) return -1;
  long c = lead & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    if (i >= s.size() || (byte(i) & 0xC0) != 0x80) return -1;
    c = (c << 6) | (byte(i++) & 0x3F);
  }
  static constexpr long kMinimum[] = {0, 0x80, 0x800, 0x10000};
  if (c < kMinimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
  return c;
}

bool isValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();)
    if (nextCodePoint(s, i) < 0) return false;
  return true;
}

// Outside files may hold bytes that are not UTF-8; each invalid sequence becomes U+FFFD so the
// value can be shown and written back (libplist would write it as an unreadable string).
std::string sanitizedUtf8(std::string_view s) {
  if (isValidUtf8(s)) return std::string(s);
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t start = i;
    if (nextCodePoint(s, i) < 0) {
      out += "\xEF\xBF\xBD";
      i = start + 1;
    } else {
      out.append(s.substr(start, i - start));
    }
  }
  return out;
}

// libplist's XML reader turns a NUL byte or a character reference to U+0000 (or beyond Unicode)
// into a string its own getters then assert on; such text is refused before it gets there.
const char* checkXmlText(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return "NUL byte in XML";
  for (std::size_t at = text.find("&#"); at != std::string_view::npos; at = text.find("&#", at + 2)) {
    std::size_t i = at + 2;
    int base = 10;
    if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
      base = 16;
      ++i;
    }
    unsigned long value = 0;
    std::size_t digits = 0;
    for (; i < text.size() && text[i] != ';'; ++i, ++digits) {
      char c = text[i];
      int d = (c >= '0' && c <= '9') ? c - '0'
              : (base == 16 && c >= 'a' && c <= 'f') ? c - 'a' + 10
              : (base == 16 && c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
      if (d < 0) break;
      value = value * static_cast<unsigned long>(base) + static_cast<unsigned long>(d);
      if (value > 0x10FFFF) return "character reference beyond Unicode";
    }
    if (i < text.size() && text[i] == ';' && digits > 0 &&
        (value == 0 || (value >= 0xD800 && value <= 0xDFFF)))
      return "character reference to NUL or a surrogate";
  }
  return nullptr;
}

Error readError(std::string message) {
  return Error::make(PropertyList::kErrorDomain, PropertyList::kReadCorruptError, std::move(message));
}

Error writeError(std::string message) {
  return Error::make(PropertyList::kErrorDomain, PropertyList::kWriteInvalidError, std::move(message));
}

// Microseconds from the reference date of a date node, rounded to the nearest one.
//
// libplist keeps a date as a double but hands it out only as truncated seconds and the truncated
// magnitude of the fraction, which loses a microsecond about half the time and the sign of dates
// less than a second before the reference date. The exact double is recovered from the node's own
// binary encoding (marker 0x33 and eight big-endian bytes right after the header); the lossy
// getter remains as the fallback.
std::optional<std::int64_t> dateMicroseconds(plist_t node) {
  PlistPtr copy(plist_copy(node));
  char* raw = nullptr;
  std::uint32_t length = 0;
  if (copy) plist_to_bin(copy.get(), &raw, &length);
  std::unique_ptr<char, MallocDeleter> bytes(raw);
  if (raw && length >= 17 && static_cast<unsigned char>(raw[8]) == 0x33) {
    std::uint64_t bits = 0;
    for (int i = 9; i < 17; ++i) bits = (bits << 8) | static_cast<unsigned char>(raw[i]);
    double secondsSince2001 = 0;
    std::memcpy(&secondsSince2001, &bits, sizeof bits);
    // ±8e9 s keeps the result inside what system_clock can count.
    if (std::isfinite(secondsSince2001) && std::fabs(secondsSince2001) < 8.0e9)
      return std::llround(secondsSince2001 * 1e6);
    return std::nullopt;
  }
  std::int32_t sec = 0, usec = 0;
  plist_get_date_val(node, &sec, &usec);
  return static_cast<std::int64_t>(sec) * 1000000 + (sec < 0 ? -usec : usec);
}

Result<PlistValue> fromNode(plist_t node, int depth) {
  if (!node) return readError("missing value");
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      std::uint8_t value = 0;
      plist_get_bool_val(node, &value);
      return PlistValue(value != 0);
    }
    case PLIST_UINT: {
      // libplist keeps every integer as 64 bits; the signed reading is the property-list one.
      std::uint64_t value = 0;
      plist_get_uint_val(node, &value);
      return PlistValue(static_cast<std::int64_t>(value));
    }
    case PLIST_REAL: {
      double value = 0;
      plist_get_real_val(node, &value);
      return PlistValue(value);
    }
    case PLIST_STRING: {
      char* raw = nullptr;
      plist_get_string_val(node, &raw);
      std::unique_ptr<char, MallocDeleter> text(raw);
      return PlistValue(sanitizedUtf8(raw ? raw : ""));
    }
    case PLIST_DATE: {
      auto micros = dateMicroseconds(node);
      if (!micros) return readError("date out of range");
      return PlistValue(PlistValue::Date(duration_cast<system_clock::duration>(
          seconds(kReferenceDateUnixSeconds) + microseconds(*micros))));
    }
    case PLIST_DATA: {
      char* raw = nullptr;
      std::uint64_t length = 0;
      plist_get_data_val(node, &raw, &length);
      std::unique_ptr<char, MallocDeleter> bytes(raw);
      const auto* begin = reinterpret_cast<const std::uint8_t*>(raw);
      return PlistValue(raw ? PlistValue::Data(begin, begin + length) : PlistValue::Data());
    }
    case PLIST_ARRAY: {
      if (depth >= PropertyList::kMaxDepth) return readError("nested too deeply");
      PlistValue::Array array;
      std::uint32_t size = plist_array_get_size(node);
      array.reserve(size);
      for (std::uint32_t i = 0; i < size; ++i) {
        auto item = fromNode(plist_array_get_item(node, i), depth + 1);
        if (!item) return item.error();
        array.push_back(std::move(*item));
      }
      return PlistValue(std::move(array));
    }
    case PLIST_DICT: {
      if (depth >= PropertyList::kMaxDepth) return readError("nested too deeply");
      PlistValue::Dictionary dictionary;
      plist_dict_iter rawIterator = nullptr;
      plist_dict_new_iter(node, &rawIterator);
      std::unique_ptr<void, MallocDeleter> iterator(rawIterator);
      for (;;) {
        char* rawKey = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, rawIterator, &rawKey, &item);
        std::unique_ptr<char, MallocDeleter> key(rawKey);
        if (!item) break;
        auto value = fromNode(item, depth + 1);
        if (!value) return value.error();
        dictionary.insert_or_assign(sanitizedUtf8(rawKey ? rawKey : ""), std::move(*value));
      }
      return PlistValue(std::move(dictionary));
    }
    case PLIST_UID:
      return readError("keyed-archive references are not supported");
    default:
      return readError("unsupported value");
  }
}

Result<PlistPtr> toNode(const PlistValue& value, int depth) {
  switch (value.kind()) {
    case PlistValue::Kind::string: {
      const std::string& text = *value.string();
      if (text.find('\0') != std::string::npos) return writeError("string holds a NUL character");
      if (!isValidUtf8(text)) return writeError("string is not UTF-8");
      return PlistPtr(plist_new_string(text.c_str()));
    }
    case PlistValue::Kind::integer:
      return PlistPtr(plist_new_uint(static_cast<std::uint64_t>(*value.integer())));
    case PlistValue::Kind::real:
      return PlistPtr(plist_new_real(*value.real()));
    case PlistValue::Kind::boolean:
      return PlistPtr(plist_new_bool(*value.boolean() ? 1 : 0));
    case PlistValue::Kind::date: {
      auto micros = duration_cast<microseconds>(value.date()->time_since_epoch()) -
                    seconds(kReferenceDateUnixSeconds);
      auto sec = floor<seconds>(micros);
      auto usec = (micros - sec).count();
      if (sec.count() < std::numeric_limits<std::int32_t>::min() ||
          sec.count() > std::numeric_limits<std::int32_t>::max())
        return writeError("date out of range");
      return PlistPtr(plist_new_date(static_cast<std::int32_t>(sec.count()), static_cast<std::int32_t>(usec)));
    }
    case PlistValue::Kind::data: {
      const auto& bytes = *value.data();
      return PlistPtr(plist_new_data(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
    case PlistValue::Kind::array: {
      if (depth >= PropertyList::kMaxDepth) return writeError("nested too deeply");
      PlistPtr array(plist_new_array());
      for (const auto& item : *value.array()) {
        auto node = toNode(item, depth + 1);
        if (!node) return node.error();
        plist_array_append_item(array.get(), node->release());
      }
      return array;
    }
    case PlistValue::Kind::dictionary: {
      if (depth >= PropertyList::kMaxDepth) return writeError("nested too deeply");
      PlistPtr dictionary(plist_new_dict());
      for (const auto& [key, item] : *value.dictionary()) {
        if (key.find('\0') != std::string::npos) return writeError("key holds a NUL character");
        if (!isValidUtf8(key)) return writeError("key is not UTF-8");
        auto node = toNode(item, depth + 1);
        if (!node) return node.error();
        plist_dict_set_item(dictionary.get(), key.c_str(), node->release());
      }
      return dictionary;
    }
  }
  return writeError("unsupported value");
}

}  // namespace

PropertyList::Format PropertyList::detectFormat(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= 6 && std::memcmp(bytes.data(), "bplist", 6) == 0 ? Format::binary : Format::xml;
}

Result<PlistValue> PropertyList::parse(std::string_view bytes) {
  return parse(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

Result<PlistValue> PropertyList::parse(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return readError("empty property list");
  if (bytes.size() > kMaxInputSize) return readError("property list too large");
  plist_t raw = nullptr;
  const char* data = reinterpret_cast<const char*>(bytes.data());
  const auto length = static_cast<std::uint32_t>(bytes.size());
  if (detectFormat(bytes) == Format::binary) {
    std::string reason = checkBinaryPlist(bytes, BinaryPlistLimits{kMaxDepth, 1u << 19});
    if (!reason.empty()) return readError("malformed binary property list: " + reason);
    plist_from_bin(data, length, &raw);
  } else {
    if (const char* reason = checkXmlText(std::string_view(data, bytes.size())))
      return readError(std::string("malformed XML property list: ") + reason);
    plist_from_xml(data, length, &raw);
  }
  PlistPtr root(raw);
  if (!root) return readError("not a property list");
  return fromNode(root.get(), 0);
}

Result<std::vector<std::uint8_t>> PropertyList::toBinary(const PlistValue& value) {
  auto node = toNode(value, 0);
  if (!node) return node.error();
  char* raw = nullptr;
  std::uint32_t length = 0;
  plist_to_bin(node->get(), &raw, &length);
  std::unique_ptr<char, MallocDeleter> bytes(raw);
  if (!raw) return writeError("could not encode the binary property list");
  const auto* begin = reinterpret_cast<const std::uint8_t*>(raw);
  return std::vector<std::uint8_t>(begin, begin + length);
}

Result<std::string> PropertyList::toXml(const PlistValue& value) {
  auto node = toNode(value, 0);
  if (!node) return node.error();
  char* raw = nullptr;
  std::uint32_t length = 0;
  plist_to_xml(node->get(), &raw, &length);
  std::unique_ptr<char, MallocDeleter> text(raw);
  if (!raw) return writeError("could not encode the XML property list");
  return std::string(raw, length);
}

Result<std::vector<std::uint8_t>> PropertyList::serialize(const PlistValue& value, Format format) {
  if (format == Format::binary) return toBinary(value);
  auto xml = toXml(value);
  if (!xml) return xml.error();
  return std::vector<std::uint8_t>(xml->begin(), xml->end());
}

}  // namespace ml::foundation
