#include "appkit/OpenPanel.h"

#include <QItemSelectionModel>
#include <QListView>
#include <QTreeView>

#include "appkit/ItemPath.h"
#include "appkit/ToolkitFileNames.h"

namespace ml::appkit {

OpenPanel::OpenPanel(Settings settings, QWidget* parent) : QFileDialog(parent), settings_(settings) {
  setOption(QFileDialog::DontUseNativeDialog);
  setFilter(filter() | QDir::Hidden | QDir::System);
  if (!settings_.filesChoosable) {
    setFileMode(QFileDialog::Directory);
  } else {
    setFileMode(settings_.multipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  }
  setAcceptMode(QFileDialog::AcceptOpen);
  setModal(false);
  setAttribute(Qt::WA_DeleteOnClose);
}

void OpenPanel::selectItems(const std::vector<std::filesystem::path>& items) {
  if (items.empty()) return;
  setDirectory(displayText(items.front().parent_path()));
  QStringList names;
  for (const auto& item : items) names << QStringLiteral("\"%1\"").arg(displayText(item.filename()));
  selectFile(items.size() == 1 ? displayText(items.front().filename()) : names.join(' '));
}

void OpenPanel::accept() {
  QStringList files = selectedFiles();
  std::vector<std::filesystem::path> items;
  bool choosable = !files.isEmpty();
  for (const QString& file : files) {
    // By the item's bytes: a name that is not UTF-8 reaches Qt only as text it cannot reopen.
    std::filesystem::path item = canonicalItemPath(fileSystemPath(file));
    std::error_code error;
    bool exists = std::filesystem::exists(std::filesystem::symlink_status(item, error));
    bool isDirectory = exists && std::filesystem::is_directory(item, error);
    choosable = choosable && exists && (isDirectory ? settings_.directoriesChoosable : settings_.filesChoosable);
    items.push_back(std::move(item));
  }
  if (!choosable) {
    // Qt's own handling: opens a folder that cannot be chosen, complains about a missing file.
    QFileDialog::accept();
    if (result() != QDialog::Accepted) return;
    items.clear();
    for (const QString& file : selectedFiles()) items.push_back(canonicalItemPath(fileSystemPath(file)));
    if (items.empty()) return;
  }
  if (!settings_.multipleSelection) items.resize(1);
  emit chosen(items);
  QDialog::accept();
}

}  // namespace ml::appkit
