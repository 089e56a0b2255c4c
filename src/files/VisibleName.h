#pragma once
// The form in which a file name is shown to the user, and the way back from an edit of that form
// to the name's bytes. A name may hold any byte but '/' and NUL, control characters included (a
// newline, a tab, an escape); shown as they are, they break a line, vanish or are drawn as a
// blank, so two different names can look alike and a name can seem to end early. Here a newline
// shows as "↵" (so do the Unicode line and paragraph separators), a tab as "⇥", and any other C0
// control or DEL in caret notation ("^[" for escape, "^?" for DEL): marks the desktop's fonts
// draw. Everything else (invalid UTF-8 included) is kept byte for byte; the toolkit then draws
// each byte that is not part of a valid UTF-8 sequence as U+FFFD.
//
// The shown form loses bytes (a mark or a U+FFFD stands for bytes the text cannot hold), so an
// editor of a name never writes its text back as it is: `editedName` keeps the original bytes of
// every part of the shown form the user left alone.
#include <string>
#include <string_view>

namespace ml::files {

std::string visibleName(std::string_view name);

// The name that `edited` (UTF-8, as an editor of the shown form of `original` hands it back)
// stands for. The longest runs of whole shown characters (each mark counts as one, "^[" too)
// that the edited text shares with the shown form at its start and at its end keep the bytes of
// `original` they stand for; what lies between is the user's text, as typed. An edited text equal
// to the shown form gives `original` back exactly, so an edit that changes nothing renames
// nothing. Nothing is checked: the result may be empty or hold a '/', for the caller to refuse.
std::string editedName(std::string_view original, std::string_view edited);

}  // namespace ml::files
