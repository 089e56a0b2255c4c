#include "rename/dialog/PreviewTableModel.h"

#include "appkit/QtTypeDescriber.h"
#include "files/TypeDescriber.h"
#include "files/VisibleName.h"
#include "platform/dispatch/QueueAssert.h"

namespace ml::rename {

PreviewTableModel::PreviewTableModel(std::vector<files::Path> items, QObject* parent)
    : QAbstractTableModel(parent), items_(std::move(items)), icons_(items_.size()) {}

void PreviewTableModel::setRows(std::vector<PreviewRow> rows) {
  ML_ASSERT_MAIN_THREAD();
  if (rows.size() == rows_.size() && !rows_.empty()) {
    rows_ = std::move(rows);
    emit dataChanged(index(0, original), index(rowCount() - 1, updated));
    return;
  }
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
}

int PreviewTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int PreviewTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 3; }

QVariant PreviewTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || static_cast<std::size_t>(index.row()) >= rows_.size()) return {};
  const auto row = static_cast<std::size_t>(index.row());
  const PreviewRow& preview = rows_[row];
  switch (index.column()) {
    case original:
      if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return QString::fromStdString(files::visibleName(preview.oldName));
      if (role == Qt::DecorationRole && row < items_.size()) {
        if (!icons_[row]) {
          icons_[row] = appkit::iconFor(files::TypeDescriber::current()->icon(items_[row].url()));
        }
        return *icons_[row];
      }
      return {};
    case updated:
      if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return QString::fromStdString(files::visibleName(preview.newName.value_or("")));
      return {};
    default:
      return {};
  }
}

QVariant PreviewTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  static const char* const kIdentifiers[] = {"original", "action", "updated"};
  static const char* const kTitles[] = {"Name", "", "New Name"};
  if (section < 0 || section > 2) return {};
  if (role == Qt::UserRole) return QString(kIdentifiers[section]);
  if (role == Qt::DisplayRole) return tr(kTitles[section]);
  return {};
}

}  // namespace ml::rename
