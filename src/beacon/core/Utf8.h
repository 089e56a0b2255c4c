#pragma once
// UTF-8 helpers for telemetry strings. Lengths are counted in code points; a malformed byte
// counts as one code point of its own, so these never fail and never read past the text.
#include <cstddef>
#include <string>
#include <string_view>

namespace ml::beacon::utf8 {

// Length in bytes of the well-formed sequence that starts at `text[0]`, or 1 for a malformed
// byte (stray continuation, overlong form, surrogate, value above U+10FFFF, cut-off sequence).
std::size_t sequenceLength(std::string_view text);
std::size_t codePointCount(std::string_view text);
bool isValid(std::string_view text);
// The longest prefix of at most `maxCodePoints` code points; never ends inside a sequence.
std::string_view prefix(std::string_view text, std::size_t maxCodePoints);

}  // namespace ml::beacon::utf8
