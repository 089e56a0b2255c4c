#pragma once
// How the strings of a name criterion combine: every string must hold (and) or any may (or).
#include <cstdint>

namespace ml::find {

enum class BooleanOperator : uint8_t { andOp, orOp };

}  // namespace ml::find
