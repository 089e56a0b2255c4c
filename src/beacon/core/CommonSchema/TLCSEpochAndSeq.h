#pragma once
// The numbering state of one instrumentation key: the epoch (a random UUID text, one per process
// run or until the numbering is reset) and the last sequence number given out.
#include <cstdint>
#include <string>

namespace ml::beacon {

struct TLCSEpochAndSeq {
  explicit TLCSEpochAndSeq(std::string epochText) : epoch(std::move(epochText)) {}

  std::string epoch;
  std::uint64_t seq = 0;
};

}  // namespace ml::beacon
