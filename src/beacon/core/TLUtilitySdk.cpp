#include <cstring>

#include "beacon/core/TLSdkRecord.h"
#include "beacon/core/TLUtility.h"

namespace ml::beacon {

namespace {
std::string field(const char (&text)[32]) { return std::string(text, strnlen(text, sizeof text)); }
}  // namespace

std::string TLUtility::sdkName() { return field(tlSdkRecord().name); }
std::string TLUtility::sdkVersion() { return field(tlSdkRecord().version); }

}  // namespace ml::beacon
