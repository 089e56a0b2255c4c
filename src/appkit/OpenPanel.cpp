#include "appkit/OpenPanel.h"

#include <QFileInfo>
#include <QItemSelectionModel>
#include <QListView>
#include <QTreeView>

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
  setDirectory(QString::fromStdString(items.front().parent_path().string()));
  QStringList names;
  for (const auto& item : items) names << QStringLiteral("\"%1\"").arg(QString::fromStdString(item.filename().string()));
  selectFile(items.size() == 1 ? QString::fromStdString(items.front().filename().string()) : names.join(' '));
}

void OpenPanel::accept() {
  QStringList files = selectedFiles();
  std::vector<std::filesystem::path> items;
  bool choosable = !files.isEmpty();
  for (const QString& file : files) {
    QFileInfo info(file);
    bool exists = info.exists() || info.isSymLink();
    choosable = choosable && exists && (info.isDir() ? settings_.directoriesChoosable : settings_.filesChoosable);
    items.emplace_back(file.toStdString());
  }
  if (!choosable) {
    // Qt's own handling: opens a folder that cannot be chosen, complains about a missing file.
    QFileDialog::accept();
    if (result() != QDialog::Accepted) return;
    items.clear();
    for (const QString& file : selectedFiles()) items.emplace_back(file.toStdString());
    if (items.empty()) return;
  }
  if (!settings_.multipleSelection) items.resize(1);
  emit chosen(items);
  QDialog::accept();
}

}  // namespace ml::appkit
