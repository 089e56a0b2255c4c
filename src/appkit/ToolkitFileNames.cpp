#include "appkit/ToolkitFileNames.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <system_error>

#include "appkit/ItemPath.h"

namespace ml::appkit {

namespace fs = std::filesystem;

namespace {

bool names(const fs::path& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}

// The one entry of `folder` the toolkit shows as `text`, if exactly one does.
std::optional<fs::path> entryShownAs(const fs::path& folder, const QString& text) {
  std::error_code error;
  std::optional<fs::path> found;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    fs::path entry = it->path().filename();
    if (QFile::decodeName(QByteArray::fromStdString(entry.native())) != text) continue;
    if (found) return std::nullopt;  // two entries look alike: the text cannot tell which
    found = std::move(entry);
  }
  return found;
}

}  // namespace

fs::path fileSystemPath(const QString& name) {
  fs::path encoded(QFile::encodeName(name).toStdString());
  if (!name.contains(QChar::ReplacementCharacter) || names(encoded)) return encoded;
  // Only a component shown with a replacement character can stand for other bytes.
  fs::path resolved = name.startsWith(QLatin1Char('/')) ? fs::path("/") : fs::path();
  for (const QString& component : name.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    fs::path candidate = resolved / QFile::encodeName(component).toStdString();
    if (component.contains(QChar::ReplacementCharacter) && !names(candidate)) {
      if (auto entry = entryShownAs(resolved.empty() ? fs::path(".") : resolved, component)) {
        candidate = resolved / *entry;
      }
    }
    resolved = std::move(candidate);
  }
  return names(resolved) ? resolved : encoded;
}

std::optional<fs::path> localPathOfUrl(const QUrl& url) {
  if (!url.isLocalFile()) return std::nullopt;
  // The encoded form keeps escapes of bytes that are not UTF-8, which the decoded forms lose.
  return localPathOfFileUrl(url.toEncoded(QUrl::RemoveQuery | QUrl::RemoveFragment).toStdString());
}

QString displayText(const fs::path& path) { return QFile::decodeName(QByteArray::fromStdString(path.native())); }

}  // namespace ml::appkit
