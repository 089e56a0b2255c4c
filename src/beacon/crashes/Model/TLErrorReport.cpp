#include "beacon/crashes/Model/TLErrorReport.h"

#include <algorithm>

namespace ml::beacon {

bool TLErrorReport::isAppKill() const {
  if (!signal_) return false;
  std::string upper = *signal_;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : static_cast<char>(c); });
  return upper == "SIGKILL";
}

}  // namespace ml::beacon
