#include "appkit/QtTypeDescriber.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <sys/stat.h>

#include "platform/dispatch/QueueAssert.h"

namespace ml::appkit {

namespace {

std::optional<QMimeType> mimeTypeOf(const std::filesystem::path& item) {
  struct stat info {};
  if (::lstat(item.c_str(), &info) != 0) return std::nullopt;
  QMimeDatabase database;
  QString path = QString::fromStdString(item.string());
  // A link is described as a link, as the file manager lists it, not as what it points to.
  if (S_ISLNK(info.st_mode)) return database.mimeTypeForName(QStringLiteral("inode/symlink"));
  QMimeType type = database.mimeTypeForFile(QFileInfo(path));
  if (!type.isValid()) return std::nullopt;
  return type;
}

}  // namespace

std::optional<std::string> QtTypeDescriber::kindDescription(const std::filesystem::path& item) const {
  auto type = mimeTypeOf(item);
  if (!type) return std::nullopt;
  QString comment = type->comment();
  if (comment.isEmpty()) return std::nullopt;
  comment[0] = comment[0].toUpper();
  return comment.toStdString();
}

files::FileIcon QtTypeDescriber::icon(const std::filesystem::path& item) const {
  auto type = mimeTypeOf(item);
  std::string name = "text-x-generic";
  if (type) name = type->iconName().toStdString();
  return {name, item};
}

QIcon iconFor(const files::FileIcon& icon) {
  ML_ASSERT_MAIN_THREAD();
  QIcon themed = QIcon::fromTheme(QString::fromStdString(icon.themeName));
  if (!themed.isNull()) return themed;
  if (auto type = mimeTypeOf(icon.path)) {
    QIcon generic = QIcon::fromTheme(type->genericIconName());
    if (!generic.isNull()) return generic;
  }
  QFileIconProvider provider;
  const QIcon own = provider.icon(QFileInfo(QString::fromStdString(icon.path.string())));
  // A link whose target is gone has no icon of its own; it is still an item and shows as one.
  return own.isNull() ? provider.icon(QFileIconProvider::File) : own;
}

}  // namespace ml::appkit
