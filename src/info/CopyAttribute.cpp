#include "info/CopyAttribute.h"

#include <QApplication>
#include <QMessageBox>

#include "appkit/Pasteboard.h"
#include "files/FileSystem.h"
#include "files/Files.h"
#include "files/HfsResourceFork.h"
#include "files/format/DateExtensions.h"
#include "files/format/FileSizeFormatter.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/LocalizedStrings.h"
#include "platform/logging/Log.h"

namespace ml::info {

namespace {

std::string hfsStyle(const std::string& volume, const std::filesystem::path& path) {
  std::string text = volume;
  // The path is taken from the volume's own root, which stays in the list as "/".
  for (const auto& component : path) {
    if (component.empty()) continue;  // a trailing separator
    text += ":" + component.string();
  }
  return text;
}

std::optional<std::string> version(const files::Path& path) {
  auto finder = path.fileSystem().finderAttributes(path);
  if (!finder) return std::nullopt;
  auto fork = files::resourceFork(finder);
  if (!fork) return std::nullopt;
  return fork->version();
}

std::optional<std::string> dateText(const std::optional<files::Date>& date) {
  if (!date) return std::nullopt;
  return files::dates::string(*date);
}

std::optional<std::string> forkSizes(const files::Path& path) {
  auto finder = path.fileSystem().finderAttributes(path);
  if (!finder || files::Files::type(path) != files::FileType::normal) return std::nullopt;
  files::FileSizeFormatter formatter;
  const auto resource = finder->resourceSize();
  return "Data fork: " + formatter.format(finder->dataSize()) +
         ", resource fork: " + (resource ? formatter.format(*resource) : std::string("none"));
}

// A message on the front window that nothing was copied and why; it does not wait for an answer.
void tellNothingToCopy(CopyableAttribute attribute) {
  const char* reason = "The item has no value for this attribute.";
  switch (attribute) {
    case CopyableAttribute::fileType: reason = "The item has no file type code."; break;
    case CopyableAttribute::creator: reason = "The item has no creator code."; break;
    case CopyableAttribute::shortVersion:
    case CopyableAttribute::longVersion: reason = "The item has no version."; break;
    case CopyableAttribute::backupDate: reason = "The item has no backup date."; break;
    default: break;
  }
  LOG_INFO("nothing to copy. reason=" << reason);
  auto* box = new QMessageBox(QMessageBox::Information, QString::fromStdString(foundation::localizedString("Nothing was copied.")),
                              QString::fromStdString(foundation::localizedString("Nothing was copied.")), QMessageBox::Ok,
                              QApplication::activeWindow());  // deletes itself when closed
  box->setInformativeText(QString::fromStdString(foundation::localizedString(reason)));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

}  // namespace

std::optional<std::string> copyableText(CopyableAttribute attribute, const files::Path& path) {
  const auto& fs = path.fileSystem();
  switch (attribute) {
    case CopyableAttribute::kindDescription: {
      auto finder = fs.finderAttributes(path);
      return finder ? finder->kind() : std::nullopt;
    }
    case CopyableAttribute::shortVersion:
    case CopyableAttribute::longVersion:
      return version(path);
    case CopyableAttribute::sizeInfo: {
      auto basic = fs.basicAttributes(path);
      files::FileSizeFormatter formatter;
      formatter.actualBytesOnly = true;
      return formatter.format(basic ? basic->totalSize() : files::FileSize::unknown());
    }
    case CopyableAttribute::forkSizes:
      return forkSizes(path);
    case CopyableAttribute::createdDate: {
      auto dates = files::Files::dates(path);
      return dates ? dateText(dates->creation) : std::nullopt;
    }
    case CopyableAttribute::modifiedDate: {
      auto dates = files::Files::dates(path);
      return dates ? dateText(dates->modification) : std::nullopt;
    }
    case CopyableAttribute::accessedDate: {
      auto dates = files::Files::dates(path);
      return dates ? dateText(dates->access) : std::nullopt;
    }
    case CopyableAttribute::backupDate: {
      auto finder = fs.finderAttributes(path);
      return finder ? dateText(finder->lastBackupDate()) : std::nullopt;
    }
    case CopyableAttribute::fileType: {
      auto finder = fs.finderAttributes(path);
      return finder ? finder->typeCode() : std::nullopt;
    }
    case CopyableAttribute::creator: {
      auto finder = fs.finderAttributes(path);
      return finder ? finder->creatorCode() : std::nullopt;
    }
    case CopyableAttribute::path:
      return path.description();
    case CopyableAttribute::hfsPath:
      return hfsStyle(path.volume(), path.pathOnVolume());
    case CopyableAttribute::parent: {
      auto parent = path.parent();
      return parent ? parent->description() : std::string("/");
    }
    case CopyableAttribute::hfsParent: {
      auto parent = path.parent();
      return parent ? hfsStyle(parent->volume(), parent->pathOnVolume()) : path.volume();
    }
  }
  return std::nullopt;
}

void CopyAttribute::execute(const InfoWindowState& state, store::Core<InfoWindowState>&) {
  const auto shown = state.displayedPath();
  if (!shown) return;
  auto text = copyableText(attribute_, *shown);
  if (!text) {
    // The clipboard stays as it was; say so rather than seem to have copied.
    dispatch::MainQueue::shared().async([attribute = attribute_] { tellNothingToCopy(attribute); });
    return;
  }
  // The clipboard belongs to the GUI thread.
  dispatch::MainQueue::shared().async([text = std::move(*text)] { appkit::Pasteboard::setString(text); });
}

}  // namespace ml::info
