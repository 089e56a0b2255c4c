#pragma once
// The item model a list window's tree view shows: a thin adapter over the window's data source.
// Rows are the data source's rows (an index's internal pointer is its PathListItem), columns are
// icon, name, date created, date modified, size and location. Clicking a column header sorts the
// top-level rows by it, that column first and the earlier sort columns after it. The name
// column is editable: its editor holds the name's shown form (files::visibleName), and a
// committed edit is handed as it is to `onRename`, which renames the item (the row changes when
// the list replaces it).
//
// The model follows the data source's changes as they happen (inserts, removals, reorderings
// with persistent indexes carried over, so selection and expanded folders survive sorting and
// renames). A folder's children are fetched when the view first expands it: built on the
// background queue and inserted in batches (see RowBatches), so the main thread never reads the
// disk for them. Thread affinity: main thread.
#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>
#include <QPersistentModelIndex>
#include <functional>
#include <memory>
#include <unordered_map>

#include "list/rows/DataSourceObserver.h"
#include "list/rows/ListWindowDataSource2.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/GlobalPool.h"

namespace ml::list {

class ListOutlineModel final : public QAbstractItemModel, private DataSourceObserver {
  Q_OBJECT
 public:
  enum Column { iconColumn = 0, nameColumn = 1, createdColumn, modifiedColumn, sizeColumn, locationColumn, columnCount_ };

  // `background` builds children of expanded folders, paced by `clock`; both must outlive the
  // model's work (the shared ones live for the process).
  explicit ListOutlineModel(std::shared_ptr<ListWindowDataSource2> dataSource,
                            dispatch::Queue& background = dispatch::GlobalPool::shared(),
                            dispatch::Clock& clock = dispatch::Clock::system(), QObject* parent = nullptr);
  ~ListOutlineModel() override;

  // The row an index stands for (null for the root or an index of another model).
  PathListItem* item(const QModelIndex& index) const;
  const std::shared_ptr<ListWindowDataSource2>& dataSource() const { return dataSource_; }
  // The icon a row shows: its own, else a plain file's (never none).
  QIcon iconOf(const PathListItem& item) const;

  std::function<void(PathListItem& item, const QString& newName)> onRename;

  QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

 private:
  void willInsertRows(int first, int last) override;
  void didInsertRows() override;
  void willRemoveRows(int first, int last) override;
  void didRemoveRows() override;
  void willReorderRows() override;
  void didReorderRows(const std::unordered_map<const PathListItem*, PathListItem*>& replaced) override;

  // Inserts a batch of fetched children under `parent`, if it is still shown.
  void childrenArrived(const std::shared_ptr<PathListItem>& parent, std::vector<std::shared_ptr<PathListItem>> rows);

  // The model while it exists, for work that ends on the main queue after it may have gone.
  struct Link {
    ListOutlineModel* model;
  };

  std::shared_ptr<ListWindowDataSource2> dataSource_;
  // A date as its column shows it. Making a date's text takes a formatter of the locale, longer
  // than drawing the row, so texts are kept by minute (all the text shows).
  QString dateText(files::Date date) const;
  static constexpr qsizetype kKeptDateTexts = 4096;

  QModelIndexList layoutIndexes_;  // persistent indexes saved across a layout change
  mutable QHash<QString, QIcon> themeIcons_;  // by theme name, however found
  mutable QHash<qint64, QString> dateTexts_;  // by minute since the epoch
  dispatch::Queue& background_;
  dispatch::Clock& clock_;
  std::shared_ptr<Link> link_;
  // A folder whose children are being fetched, and where it is shown. The row is held weakly:
  // a row that left the outline dies, and a new row may later be built at its address, which
  // must not pass for the old one.
  struct Fetch {
    std::weak_ptr<PathListItem> row;
    QPersistentModelIndex where;
  };
  // The entry for `row` when it is that very row's fetch; null otherwise.
  const Fetch* fetchOf(const PathListItem* row) const;
  // Forgets fetches whose folder has left the outline.
  void dropStaleFetches();

  std::unordered_map<const PathListItem*, Fetch> fetching_;
};

}  // namespace ml::list
