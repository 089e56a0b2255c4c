#pragma once
// Reading and writing property lists, binary ("bplist00") and XML, over libplist.
//
// parse() takes outside data (preference files, extended attributes) and never trusts it: the
// binary form is checked by BinaryPlistCheck before libplist sees it (libplist recurses without
// bound and expands shared objects), nesting deeper than kMaxDepth is refused, and values this
// layer cannot represent (keyed-archive UIDs) are refused. Every refusal is an Error in the
// "NSCocoaErrorDomain" with code 3840 (read) or 3852 (write).
//
// Known limits of the format layer: strings are C strings (a string holding U+0000 cannot be
// written); dates are written between 1901 and 2069 (32-bit seconds from 2001), to the microsecond
// in the binary form and to the whole second in the XML form (the XML date syntax has no fraction).
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/foundation/PlistValue.h"
#include "platform/foundation/Result.h"

namespace ml::foundation {

class PropertyList {
 public:
  enum class Format { binary, xml };

  static constexpr const char* kErrorDomain = "NSCocoaErrorDomain";
  static constexpr int kReadCorruptError = 3840;
  static constexpr int kWriteInvalidError = 3852;
  static constexpr int kMaxDepth = 256;
  static constexpr std::size_t kMaxInputSize = 64u << 20;

  // Binary or XML, told apart by the "bplist" magic.
  static Result<PlistValue> parse(std::span<const std::uint8_t> bytes);
  static Result<PlistValue> parse(std::string_view bytes);
  // The format `bytes` would be parsed as.
  static Format detectFormat(std::span<const std::uint8_t> bytes);

  static Result<std::vector<std::uint8_t>> toBinary(const PlistValue& value);
  static Result<std::string> toXml(const PlistValue& value);
  static Result<std::vector<std::uint8_t>> serialize(const PlistValue& value, Format format);
};

}  // namespace ml::foundation
