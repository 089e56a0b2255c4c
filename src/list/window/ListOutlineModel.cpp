#include "list/window/ListOutlineModel.h"

#include <QApplication>
#include <QGuiApplication>
#include <QStyle>
#include <QPalette>

#include <algorithm>
#include <array>
#include <string_view>

#include "appkit/Localization.h"
#include "appkit/QtTypeDescriber.h"
#include "files/format/SizeRepresentation.h"
#include "files/VisibleName.h"
#include "list/display/ListDisplay.h"
#include "list/rows/RowBatches.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/QueueAssert.h"

namespace ml::list {

namespace {

constexpr std::array<std::string_view, ListOutlineModel::columnCount_> kIdentifiers = {
    column::icon, column::name, column::created, column::modified, column::size, column::location};
constexpr std::array<std::string_view, ListOutlineModel::columnCount_> kSortKeys = {
    "", "name", "creationDate", "lastModifiedDate", "byteCount", "fullPath"};
constexpr std::array<const char*, ListOutlineModel::columnCount_> kTitles = {"", "Name", "Date Created",
                                                                             "Date Modified", "Size", "Location"};

QString text(std::string_view value) { return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())); }

// The top-level row that `item` belongs to (itself for a top-level row).
const PathListItem* topLevelOf(const PathListItem* item) {
  while (item && item->parent()) item = item->parent();
  return item;
}

}  // namespace

ListOutlineModel::ListOutlineModel(std::shared_ptr<ListWindowDataSource2> dataSource, dispatch::Queue& background,
                                   dispatch::Clock& clock, QObject* parent)
    : QAbstractItemModel(parent),
      dataSource_(std::move(dataSource)),
      background_(background),
      clock_(clock),
      link_(std::make_shared<Link>(Link{this})) {
  dataSource_->setObserver(this);
}

ListOutlineModel::~ListOutlineModel() {
  link_->model = nullptr;
  dataSource_->setObserver(nullptr);
}

PathListItem* ListOutlineModel::item(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this) return nullptr;
  return static_cast<PathListItem*>(index.internalPointer());
}

QModelIndex ListOutlineModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column < 0 || column >= columnCount_) return {};
  if (parent.isValid() && parent.column() != 0) return {};
  PathListItem* parentItem = item(parent);
  if (!parentItem) {
    // Asked for every row whenever the view lays its rows out: no reference counting here.
    const auto& rows = dataSource_->items();
    if (static_cast<std::size_t>(row) >= rows.size()) return {};
    return createIndex(row, column, rows[static_cast<std::size_t>(row)].get());
  }
  if (row >= parentItem->shownChildCount()) return {};
  auto child = parentItem->builtChild(row);
  return child ? createIndex(row, column, child.get()) : QModelIndex();
}

QModelIndex ListOutlineModel::parent(const QModelIndex& child) const {
  PathListItem* row = item(child);
  if (!row || !row->parent()) return {};
  PathListItem* parentItem = row->parent();
  const int position = parentItem->parent() ? parentItem->indexInParent() : dataSource_->rowOf(parentItem);
  if (position < 0) return {};
  return createIndex(position, 0, parentItem);
}

int ListOutlineModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() && parent.column() != 0) return 0;
  const PathListItem* row = item(parent);
  if (!row) return static_cast<int>(dataSource_->numberOfChildren(nullptr));
  return static_cast<int>(row->shownChildCount());
}

int ListOutlineModel::columnCount(const QModelIndex&) const { return columnCount_; }

bool ListOutlineModel::hasChildren(const QModelIndex& parent) const {
  if (!parent.isValid()) return !dataSource_->items().empty();
  if (parent.column() != 0) return false;
  return dataSource_->isExpandable(item(parent));
}

QIcon ListOutlineModel::iconOf(const PathListItem& row) const {
  const files::FileIcon& icon = row.icon();
  const QString name = text(icon.themeName);
  if (auto it = themeIcons_.constFind(name); it != themeIcons_.constEnd()) return *it;
  QIcon themed = QIcon::fromTheme(name);
  if (!themed.isNull()) {
    themeIcons_.insert(name, themed);
    return themed;
  }
  // Not in the theme: found another way, which loads image files, so the answer is kept for the
  // name too (every row of that type asks again at each repaint).
  QIcon found = appkit::iconFor(icon);
  if (!found.isNull()) {
    themeIcons_.insert(name, found);
    return found;
  }
  // Nothing of its own (a broken link, a fifo, a socket): a plain file's icon, so every row has
  // one and the outline gives every row the same height, whichever comes first.
  const QString fallbackKey = QStringLiteral("\x01fallback");
  if (auto it = themeIcons_.constFind(fallbackKey); it != themeIcons_.constEnd()) return *it;
  QIcon fallback = QIcon::fromTheme(QStringLiteral("text-x-generic"), QApplication::style()->standardIcon(QStyle::SP_FileIcon));
  themeIcons_.insert(fallbackKey, fallback);
  return fallback;
}

QVariant ListOutlineModel::data(const QModelIndex& index, int role) const {
  const PathListItem* row = item(index);
  if (!row) return {};
  const int column = index.column();
  switch (role) {
    case Qt::DecorationRole:
      if (column == iconColumn || column == nameColumn) return iconOf(*row);
      return {};
    case Qt::EditRole:
      // The editor starts from the name as the row shows it; SimpleRename takes the parts the
      // user left alone back to the name's own bytes.
      if (column == nameColumn) return text(files::visibleName(row->name()));
      return {};
    case Qt::ToolTipRole:
      if (column == nameColumn || column == locationColumn) return text(files::visibleName(row->location()));
      return {};
    case Qt::ForegroundRole:
      // A row whose item is gone reads as unavailable.
      if (row->isGone()) return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
      return {};
    case Qt::TextAlignmentRole:
      if (column == sizeColumn) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      return {};
    case Qt::DisplayRole: break;
    default: return {};
  }
  ColumnValue value = dataSource_->objectValue(kIdentifiers[static_cast<std::size_t>(column)], row);
  if (const auto* string = std::get_if<std::string>(&value)) {
    // Names and locations may hold control characters: they show as visible marks.
    return text(column == nameColumn || column == locationColumn ? files::visibleName(*string) : *string);
  }
  if (const auto* date = std::get_if<files::Date>(&value)) return dateText(*date);
  if (const auto* bytes = std::get_if<int64_t>(&value)) return text(files::toSizeRepresentation(*bytes));
  return {};
}

QString ListOutlineModel::dateText(files::Date date) const {
  // The text shows minutes at most: dates within one minute read the same.
  const auto minute = std::chrono::floor<std::chrono::minutes>(date).time_since_epoch().count();
  if (auto it = dateTexts_.constFind(minute); it != dateTexts_.constEnd()) return *it;
  if (dateTexts_.size() >= kKeptDateTexts) dateTexts_.clear();
  QString made = text(details::dateText(date));
  dateTexts_.insert(minute, made);
  return made;
}

bool ListOutlineModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  ML_ASSERT_MAIN_THREAD();
  PathListItem* row = item(index);
  if (!row || role != Qt::EditRole || index.column() != nameColumn) return false;
  if (onRename) onRename(*row, value.toString());
  return true;
}

Qt::ItemFlags ListOutlineModel::flags(const QModelIndex& index) const {
  if (!item(index)) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == nameColumn) flags |= Qt::ItemIsEditable;
  return flags;
}

QVariant ListOutlineModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  if (section < 0 || section >= columnCount_) return {};
  const char* title = kTitles[static_cast<std::size_t>(section)];
  return *title ? appkit::localizedText(QString::fromUtf8(title)) : QString();
}

void ListOutlineModel::sort(int column, Qt::SortOrder order) {
  ML_ASSERT_MAIN_THREAD();
  if (column < 0 || column >= columnCount_) return;
  auto key = sortKeyNamed(kSortKeys[static_cast<std::size_t>(column)]);
  if (!key) return;
  dataSource_->sortDescriptorsDidChange(
      withPrimary(dataSource_->sortDescriptors(), SortDescriptor{*key, order == Qt::AscendingOrder}));
}

bool ListOutlineModel::canFetchMore(const QModelIndex& parent) const {
  const PathListItem* row = item(parent);
  if (!row || parent.column() != 0 || !row->isExpandable()) return false;
  return row->shownChildCount() < row->childCount() && !fetchOf(row);
}

const ListOutlineModel::Fetch* ListOutlineModel::fetchOf(const PathListItem* row) const {
  auto it = fetching_.find(row);
  if (it == fetching_.end()) return nullptr;
  // An expired entry belonged to a row that died; `row` is a newer one at the same address.
  if (it->second.row.lock().get() != row) return nullptr;
  return &it->second;
}

void ListOutlineModel::dropStaleFetches() {
  std::erase_if(fetching_, [](const auto& entry) {
    const Fetch& fetch = entry.second;
    return fetch.row.expired() || !fetch.where.isValid() || fetch.where.internalPointer() != entry.first;
  });
}

void ListOutlineModel::fetchMore(const QModelIndex& parent) {
  ML_ASSERT_MAIN_THREAD();
  if (!canFetchMore(parent)) return;
  auto row = item(parent)->shared_from_this();
  fetching_.insert_or_assign(row.get(), Fetch{row, QPersistentModelIndex(parent.siblingAtColumn(0))});
  std::weak_ptr<PathListItem> weakRow = row;
  std::weak_ptr<Link> link = link_;
  dispatch::Clock& clock = clock_;
  // The entries not shown yet; names are copied here, the row itself stays on the main thread.
  std::vector<files::Path> all = row->entryPaths();
  all.erase(all.begin(), all.begin() + row->shownChildCount());
  PathPack entries(all);
  background_.async([entries = std::move(entries), weakRow, link, &clock, usage = row->usageEvents()] {
    buildRowsInBatches(
        entries, clock,
        [&](std::vector<std::shared_ptr<PathListItem>> batch) {
          dispatch::MainQueue::shared().async([link, weakRow, batch = std::move(batch)]() mutable {
            auto alive = link.lock();
            auto parentRow = weakRow.lock();
            if (alive && alive->model && parentRow) alive->model->childrenArrived(parentRow, std::move(batch));
          });
        },
        [&] { return !weakRow.expired() && !link.expired(); }, usage);
  });
}

void ListOutlineModel::childrenArrived(const std::shared_ptr<PathListItem>& parent,
                                       std::vector<std::shared_ptr<PathListItem>> rows) {
  ML_ASSERT_MAIN_THREAD();
  auto it = fetching_.find(parent.get());
  // Gone from the outline meanwhile (removed, or replaced by a fresh row): nothing to show.
  if (it == fetching_.end() || it->second.row.lock() != parent) return;
  const QPersistentModelIndex& where = it->second.where;
  if (!where.isValid() || where.internalPointer() != parent.get()) {
    fetching_.erase(it);
    return;
  }
  const int first = static_cast<int>(parent->shownChildCount());
  const int room = static_cast<int>(parent->childCount()) - first;
  const int count = std::min(room, static_cast<int>(rows.size()));
  if (count > 0) {
    beginInsertRows(QModelIndex(where), first, first + count - 1);
    parent->adoptChildren(std::move(rows));
    endInsertRows();
  }
  if (parent->shownChildCount() >= parent->childCount()) fetching_.erase(it);
}

void ListOutlineModel::willInsertRows(int first, int last) { beginInsertRows({}, first, last); }
void ListOutlineModel::didInsertRows() { endInsertRows(); }
void ListOutlineModel::willRemoveRows(int first, int last) { beginRemoveRows({}, first, last); }
void ListOutlineModel::didRemoveRows() {
  endRemoveRows();
  // The removed rows' persistent indexes are invalid now; their fetches are over.
  dropStaleFetches();
}

void ListOutlineModel::willReorderRows() {
  ML_ASSERT_MAIN_THREAD();
  emit layoutAboutToBeChanged();
  layoutIndexes_ = persistentIndexList();
}

void ListOutlineModel::didReorderRows(const std::unordered_map<const PathListItem*, PathListItem*>& replaced) {
  ML_ASSERT_MAIN_THREAD();
  QModelIndexList to;
  to.reserve(layoutIndexes_.size());
  for (const QModelIndex& from : layoutIndexes_) {
    auto* row = static_cast<PathListItem*>(from.internalPointer());
    const PathListItem* top = topLevelOf(row);
    auto it = replaced.find(top);
    if (row == top) {
      PathListItem* now = it != replaced.end() ? it->second : row;
      const int position = now ? dataSource_->rowOf(now) : -1;
      to.append(position < 0 ? QModelIndex() : createIndex(position, from.column(), now));
    } else if (it != replaced.end()) {
      to.append(QModelIndex());  // the rows below a replaced row went with it
    } else {
      to.append(from);  // children keep their place under their parent
    }
  }
  changePersistentIndexList(layoutIndexes_, to);
  layoutIndexes_.clear();
  // A replaced folder whose children were shown (it is, or was, expanded) gets its children
  // fetched again: the view asks only when a folder is expanded, and this one already is.
  std::vector<PathListItem*> refetch;
  for (const auto& [before, after] : replaced) {
    if (after && (before->shownChildCount() > 0 || fetchOf(before))) refetch.push_back(after);
    fetching_.erase(before);
  }
  dropStaleFetches();
  emit layoutChanged();
  for (PathListItem* row : refetch) {
    const int position = dataSource_->rowOf(row);
    if (position >= 0) fetchMore(createIndex(position, 0, row));
  }
}

}  // namespace ml::list
