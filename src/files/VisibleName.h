#pragma once
// The form in which a file name is shown to the user. A name may hold any byte but '/' and NUL,
// control characters included (a newline, a tab, an escape); shown as they are, they break a line,
// vanish or are drawn as a blank, so two different names can look alike and a name can seem to end
// early. Here a newline shows as "↵" (so do the Unicode line and paragraph separators), a tab as
// "⇥", and any other C0 control or DEL in caret notation ("^[" for escape, "^?" for DEL): marks the
// desktop's fonts draw. Everything else (invalid UTF-8 included) is kept byte for byte.
//
// Display only: the name on disk, and every name written back, keep their bytes.
#include <string>
#include <string_view>

namespace ml::files {

std::string visibleName(std::string_view name);

}  // namespace ml::files
