#pragma once
// Where a plain search text must sit in the name for a match to count: at its start, at its end
// (the pattern is anchored with "^" or "$"), or anywhere.
namespace ml::rename {

enum class MatchLocation { beginning, end, everywhere };

}  // namespace ml::rename
