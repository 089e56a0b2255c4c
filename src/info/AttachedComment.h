#pragma once
// Moves a comment that older systems attached in an item's resource fork ('CEKI') into its
// Finder comment. The write runs in the background; a failure is logged at error level with the
// path and the error, and the comment is then not reported as copied.
#include <functional>
#include <string>

#include "files/Path.h"

namespace ml::info {

// Writes `text` as the Finder comment of `item` on the global pool, then calls `copied` with it
// on the main queue when the write succeeded. Any thread.
void copyAttachedComment(const files::Path& item, std::string text, std::function<void(const std::string&)> copied);

}  // namespace ml::info
