#pragma once
// Which matches of a search a rename replaces.
namespace ml::rename {

enum class ReplacementMode { first, last, all };

}  // namespace ml::rename
