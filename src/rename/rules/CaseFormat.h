#pragma once
// The case a rename gives a whole name (extension, prefix and suffix included); also the list
// window's case change.
namespace ml::rename {

enum class CaseFormat { lower, upper, title };

}  // namespace ml::rename
