#pragma once
// A short, readable text of a property-list value for log lines (JSON-like; dates in ISO 8601,
// data as its length). Not a format anything parses.
#include <string>

#include "platform/foundation/PlistValue.h"

namespace ml::beacon {

std::string describePlist(const foundation::PlistValue& value);

}  // namespace ml::beacon
