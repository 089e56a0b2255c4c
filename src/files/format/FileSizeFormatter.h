#pragma once
// Renders a FileSize as the size fields and the copied size text show it:
//   "8 KB (5,321 bytes used)"  allocated size text, then the actual count with grouping;
//   "5,321 bytes"              with actualBytesOnly;
//   "Unknown File Size"        for the (-1, -1) marker.
// Numbers follow the ICU default locale at the time of the call. A plain value object: copy it
// freely; const calls are safe from any thread.
#include <any>
#include <optional>
#include <string>
#include <string_view>

#include "files/FileSize.h"

namespace ml::files {

class FileSizeFormatter {
 public:
  // The text given for any value that is not a FileSize (an empty value included).
  std::optional<std::string> nilReturnValue;
  // Shows only the actual byte count.
  bool actualBytesOnly = false;

  std::string format(const FileSize& size) const;
  // A field's object value: a FileSize is rendered, anything else (an empty value included)
  // gives nilReturnValue.
  std::optional<std::string> string(const std::any& value) const;

  // The object value of edited text is the text itself; this never fails.
  static std::string objectValue(std::string_view edited) { return std::string(edited); }
};

// The count in the locale's decimal style, with its grouping separators ("5,321" in en_US).
std::string decimalText(int64_t count);

}  // namespace ml::files
