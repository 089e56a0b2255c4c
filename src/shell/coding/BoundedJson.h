#pragma once
// Parsing JSON that comes from outside the process with a bound on its nesting. A document of
// nested brackets ("[[[[...") costs about a hundred bytes of tree per input byte, so a hand-off of a
// few megabytes could make the receiver allocate gigabytes; the coded forms of the shell nest two
// levels deep, and anything far deeper is refused before a tree is built.
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <span>

#include "platform/foundation/Result.h"

namespace ml::shell {

inline constexpr const char* kJsonErrorDomain = "org.marrowlane.Json";
// Error codes of kJsonErrorDomain.
inline constexpr int kJsonInvalid = 1;
inline constexpr int kJsonTooDeep = 2;

// Nesting the shell's decoders accept: arrays and objects within each other, the outermost at 1.
inline constexpr std::size_t kMaxJsonDepth = 16;

// The document in `bytes` (UTF-8 JSON, nothing after it), or kJsonInvalid, or kJsonTooDeep when
// arrays and objects nest deeper than `maxDepth`. Never throws.
foundation::Result<nlohmann::json> parseBoundedJson(std::span<const std::uint8_t> bytes,
                                                    std::size_t maxDepth = kMaxJsonDepth);

}  // namespace ml::shell
