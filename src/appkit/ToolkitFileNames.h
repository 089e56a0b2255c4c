#pragma once
// File names crossing between the toolkit, which holds them as text, and the file system, which
// holds bytes. A name whose bytes are not valid UTF-8 shows with replacement characters on
// screen; these give back the bytes of the item the user meant, so it is never turned into a
// path that does not exist.
//
// Main thread or any (they only read the file system).
#include <QString>
#include <QUrl>
#include <filesystem>
#include <optional>

namespace ml::appkit {

// The file-system path of a name the toolkit gives as text (an open panel's choice). The
// locale's encoding of the text when that names an item; otherwise each component that names
// nothing is looked up among its folder's entries by the text the toolkit shows for them (an
// entry decoded with replacement characters), and taken when exactly one entry shows that way.
// Otherwise the encoded text, which then names nothing.
std::filesystem::path fileSystemPath(const QString& name);

// The local path of a file URL (a drop), percent-escapes undone byte for byte; nothing for a URL
// that is not a local file.
std::optional<std::filesystem::path> localPathOfUrl(const QUrl& url);

// The text the toolkit shows for a file-system path (replacement characters where the bytes are
// not UTF-8).
QString displayText(const std::filesystem::path& path);

}  // namespace ml::appkit
