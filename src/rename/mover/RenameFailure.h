#pragma once
// How a failed rename is told to the user, the same way by every window: the item's name in
// quotation marks and the reason ("“CaseA.txt”: an item named “casea.txt” is already in this
// folder"), for the informative text of the window's own alert.
//
// Names may run to 255 characters without a space; alerts wrap text only at break
// opportunities, so every long unbroken run gets zero-width spaces, and the alert stays as wide
// as the screen allows instead of cutting the name.
#include <string>

#include "files/Path.h"
#include "platform/foundation/Result.h"

namespace ml::rename {

// "“name”: reason", the reason as the error gives it.
std::string renameFailureText(const files::Path& item, const foundation::Error& error);

// `text` with a zero-width space (U+200B) after every `run` characters that hold no space or
// line break; UTF-8 sequences are never split. Invalid UTF-8 bytes count as one character each.
std::string breakableText(const std::string& text, size_t run = 32);

}  // namespace ml::rename
