#pragma once
// The preview table's rows: the old name with the item's icon, an empty "action" column, and the
// new name (empty while there is none). Columns are identified by position; their identifiers
// ("original", "action", "updated") answer Qt::UserRole in the header.
//
// Icons are looked up when a row is first drawn, since they need the desktop's icon theme and
// never change while the dialog is open. Main thread.
#include <QAbstractTableModel>
#include <QIcon>
#include <optional>
#include <vector>

#include "files/Path.h"
#include "rename/dialog/PreviewRows.h"

namespace ml::rename {

class PreviewTableModel final : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { original = 0, action = 1, updated = 2 };

  PreviewTableModel(std::vector<files::Path> items, QObject* parent = nullptr);

  // Replaces the rows. The rows of one dialog never change in number, so a later call only
  // redraws the names (keeping the scroll position).
  void setRows(std::vector<PreviewRow> rows);
  const std::vector<PreviewRow>& rows() const { return rows_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 private:
  std::vector<files::Path> items_;
  std::vector<PreviewRow> rows_;
  mutable std::vector<std::optional<QIcon>> icons_;
};

}  // namespace ml::rename
