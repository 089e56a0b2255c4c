#include "crashreporter/ReportUuid.h"

namespace ml::crash {

std::string uuidString(const ReportUuid& uuid) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(36);
  for (size_t i = 0; i < uuid.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
    text.push_back(kDigits[uuid[i] >> 4]);
    text.push_back(kDigits[uuid[i] & 0x0F]);
  }
  return text;
}

}  // namespace ml::crash
