#include "appkit/QtTypeDescriber.h"

#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "appkit/ToolkitFileNames.h"
#include "platform/dispatch/QueueAssert.h"

namespace ml::appkit {

namespace {

// The first bytes of a regular file, read through its own name's bytes; empty when unreadable.
QByteArray leadingBytes(const std::filesystem::path& item) {
  constexpr qsizetype kSniffed = 4096;  // more than the database's magic rules look at
  QByteArray data(kSniffed, Qt::Uninitialized);
  const int fd = ::open(item.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return {};
  const ssize_t got = ::read(fd, data.data(), static_cast<size_t>(data.size()));
  ::close(fd);
  data.resize(got > 0 ? got : 0);
  return data;
}

std::optional<QMimeType> mimeTypeOf(const std::filesystem::path& item) {
  struct stat info {};
  if (::lstat(item.c_str(), &info) != 0) return std::nullopt;
  QMimeDatabase database;
  // A link is described as a link, as the file manager lists it, not as what it points to.
  if (S_ISLNK(info.st_mode)) return database.mimeTypeForName(QStringLiteral("inode/symlink"));
  const QString text = displayText(item);
  QMimeType type;
  if (QFile::encodeName(text).toStdString() == item.native()) {
    type = database.mimeTypeForFile(QFileInfo(text));
  } else if (S_ISREG(info.st_mode)) {
    // The text of a name that is not UTF-8 names nothing, so the toolkit cannot be handed the
    // item: its kind comes from its shown name and its own first bytes, or from its mode.
    type = database.mimeTypeForFileNameAndData(displayText(item.filename()), leadingBytes(item));
  } else {
    type = database.mimeTypeForName(S_ISDIR(info.st_mode)    ? QStringLiteral("inode/directory")
                                    : S_ISFIFO(info.st_mode) ? QStringLiteral("inode/fifo")
                                    : S_ISSOCK(info.st_mode) ? QStringLiteral("inode/socket")
                                    : S_ISCHR(info.st_mode)  ? QStringLiteral("inode/chardevice")
                                                             : QStringLiteral("inode/blockdevice"));
  }
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
