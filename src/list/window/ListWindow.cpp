#include "list/window/ListWindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "appkit/Localization.h"
#include "appkit/QtTypeDescriber.h"
#include "files/FileSystem.h"
#include "files/TypeDescriber.h"
#include "files/VisibleName.h"
#include "list/commands/AddCommands.h"
#include "list/commands/ChangeCaseFormat.h"
#include "list/commands/ClearCodeCommand.h"
#include "list/commands/CopyNames.h"
#include "list/commands/ReleaseFreedMemory.h"
#include "list/commands/RemoveSelectedItems.h"
#include "list/commands/SimpleRename.h"
#include "list/display/ListDisplay.h"
#include "list/menu/AncestorEntries.h"
#include "list/rows/FreedMemory.h"
#include "list/rows/ListWindowDataSource2.h"
#include "list/state/ListEvents.h"
#include "list/window/ListMainWindow.h"
#include "list/window/ListOutlineModel.h"
#include "list/window/OutlineSelection.h"
#include "list/window/TreeOutlineView.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/logging/Log.h"
#include "platform/store/Middleware.h"
#include "platform/store/Subscriber.h"
#include "shell/GlobalCommands.h"
#include "shell/core/ApplicationEvents.h"
#include "shell/core/PathList.h"
#include "ui_ListWindow.h"

namespace ml::list {

namespace {

using Global = shell::GlobalCommands<ListWindowState>;

// Passes what the application did to items elsewhere on to one list window's store, so that
// its rows follow: renames and moves (from any window) as moves of its items, items sent to the
// Trash as such. The global store holds it (and so the list's store) until the window closes.
class GlobalObserver final : public store::Middleware<shell::GlobalState> {
 public:
  explicit GlobalObserver(std::shared_ptr<ListStore> reactor) : reactor_(std::move(reactor)) {}
  void process(const store::Event& event, const shell::GlobalState&) override {
    if (auto* renamed = event.as<shell::ApplicationEvents::ItemsRenamed>()) {
      reactor_->fire(shell::ItemsMoved(renamed->items));
    } else if (auto* moved = event.as<shell::ItemsMoved>()) {
      reactor_->fire(*moved);
    } else if (auto* trashed = event.as<shell::ItemsTrashed>()) {
      reactor_->fire(*trashed);
    }
  }

 private:
  std::shared_ptr<ListStore> reactor_;
};

// The store keeps its subscribers for its whole life; the controller owns the store, so the
// store only gets a weak way back to it.
class Redraw final : public store::Subscriber<ListWindowState> {
 public:
  explicit Redraw(std::weak_ptr<ListWindow> window) : window_(std::move(window)) {}
  void update(const ListWindowState& state) override {
    if (auto window = window_.lock()) window->update(state);
  }

 private:
  std::weak_ptr<ListWindow> window_;
};

int tagOf(const QAction* action) { return action ? action->property("tag").toInt() : 0; }

// An action of the context menu's own standing in for `original`: the same title, icon and tag,
// enabled with it, and choosing it triggers the original. Named after the original with the
// suffix "InContextMenu". Owned by `menu`.
QAction* contextStandIn(QAction* original, QMenu* menu) {
  auto* standIn = new QAction(original->icon(), original->text(), menu);
  standIn->setObjectName(original->objectName() + QStringLiteral("InContextMenu"));
  standIn->setProperty("tag", original->property("tag"));
  standIn->setEnabled(original->isEnabled());
  QObject::connect(standIn, &QAction::triggered, original, [original] { original->trigger(); });
  QObject::connect(original, &QAction::changed, standIn, [original, standIn] {
    standIn->setText(original->text());
    standIn->setIcon(original->icon());
    standIn->setEnabled(original->isEnabled());
  });
  return standIn;
}

QIcon themeIcon(const char* name, QStyle::StandardPixmap fallback, const QWidget& widget) {
  return QIcon::fromTheme(QString::fromLatin1(name), widget.style()->standardIcon(fallback));
}

QString text(std::string_view value) { return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())); }

ListServices listServices(const shell::WindowContext& context) {
  return ListServices{context.usageEvents(), context.workspace(), context.openPanels()};
}

}  // namespace

ListWindow::ListWindow(shell::WindowContext context, dispatch::Clock& clock, dispatch::Queue& background)
    : core_(std::make_shared<ListStore>(ListWindowState(clock, listServices(context)))),
      details_(background, dispatch::MainQueue::shared()),
      context_(context),
      clock_(clock),
      background_(background) {
  core_->state().store->attach(core_);
}

ListWindow::~ListWindow() {
  // Whatever the store still has to do for this window is for nobody now.
  core_->state().store->close();
  details_.cancel();
  if (!window_) return;
  // The widgets belong to the main thread; this may run elsewhere (the global store lets go of
  // closed windows on its own queue). Through the main queue, never Qt's own posting: this may
  // also run while the application shuts down, when only the main queue may still be posted to.
  dispatch::MainQueue::shared().async([window = window_] { delete window.data(); });
}

std::shared_ptr<ListWindow> ListWindow::self() {
  return std::static_pointer_cast<ListWindow>(shared_from_this());
}

void ListWindow::addItems(const std::vector<files::Path>& items) {
  const auto& reference = core_->state().store;
  if (!dispatch::MainQueue::isMainThread()) reference->waitForRoom(kWaitingPaths, std::chrono::seconds(1));
  PathPack packed(items);
  reference->handOver(packed.size());
  core_->fire(ItemsAddedEvent(std::move(packed), true));
  // The addition's paths and batches are freed once the store has handled it; a large one's
  // memory then goes back to the system rather than staying with the allocator.
  if (items.size() >= kManyRows) fire(std::make_shared<ReleaseFreedMemory>());
}

ListMainWindow* ListWindow::window() {
  ML_ASSERT_MAIN_THREAD();
  if (!window_) {
    window_ = new ListMainWindow();
    ui_ = std::make_unique<Ui::ListWindow>();
    ui_->setupUi(window_);
    windowDidLoad();
  }
  return window_;
}

void ListWindow::show() {
  ML_ASSERT_MAIN_THREAD();
  ListMainWindow* shown = window();
  shown->show();
  shown->raise();
  shown->activateWindow();
}

bool ListWindow::isWindowLoaded() const { return !window_.isNull(); }
ListOutlineModel* ListWindow::model() const { return model_.data(); }

const void* ListWindow::windowIdentity() const { return static_cast<const QWidget*>(window_.data()); }

void ListWindow::fire(std::shared_ptr<store::Command<ListWindowState>> command) { core_->fire(std::move(command)); }

void ListWindow::windowDidLoad() {
  ML_ASSERT_MAIN_THREAD();
  auto& ui = *ui_;
  std::weak_ptr<ListWindow> weak = self();

  if (auto* global = context_.global) {
    global->fire(std::make_shared<const shell::ApplicationEvents::WindowOpened>(self()));
    globalObserverDisconnect_ = global->add(std::make_shared<GlobalObserver>(core_));
  }
  core_->add(std::make_shared<Redraw>(weak), dispatch::MainQueue::shared());

  QTreeView* view = ui.outlineView;
  model_ = new ListOutlineModel(core_->state().dataSource, background_, clock_, window_);  // owned by the window
  model_->onRename = [weak](PathListItem& row, const QString& name) {
    if (auto window = weak.lock()) window->fire(std::make_shared<SimpleRename>(row.source(), name.toStdString()));
  };
  view->setModel(model_);
  view->header()->setSortIndicator(-1, Qt::AscendingOrder);
  view->setSortingEnabled(true);
  // The name column carries the icon, the disclosure triangle and the indentation.
  view->hideColumn(ListOutlineModel::iconColumn);
  view->setTreePosition(ListOutlineModel::nameColumn);
  view->header()->resizeSection(ListOutlineModel::nameColumn, 240);
  // The date columns fit a long date of this locale (two-digit day and hour) with the cell's
  // margins, and their titles with the sort indicator.
  const QFontMetrics metrics = view->fontMetrics();
  const int longDate =
      metrics.horizontalAdvance(text(details::dateText(files::Date(std::chrono::sys_days(std::chrono::year(2026) / 12 / 28) +
                                                                     std::chrono::hours(22) + std::chrono::minutes(58)))));
  for (int column : {ListOutlineModel::createdColumn, ListOutlineModel::modifiedColumn}) {
    const int title = view->header()->fontMetrics().horizontalAdvance(model_->headerData(column, Qt::Horizontal).toString());
    view->header()->resizeSection(column, std::max({145, longDate + 24, title + 32}));
  }
  view->header()->resizeSection(ListOutlineModel::sizeColumn, 75);
  view->setIconSize(QSize(16, 16));
  ui.splitter->setStretchFactor(0, 1);
  ui.splitter->setStretchFactor(1, 0);

  // A large addition reaches the outline in batches within one event, and the store redraws only
  // after the event: the title and the detail pane follow each batch meanwhile.
  QObject::connect(
      model_, &QAbstractItemModel::rowsInserted, window_,
      [weak](const QModelIndex& parent) {
        if (auto window = weak.lock(); window && !parent.isValid()) window->update(window->core_->state());
      },
      Qt::QueuedConnection);
  QObject::connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, window_, [weak] {
    if (auto window = weak.lock()) window->outlineViewSelectionDidChange();
  });
  QObject::connect(view, &QTreeView::doubleClicked, window_, [weak](const QModelIndex& index) {
    if (auto window = weak.lock()) window->openInInfoWindowOnDoubleClick(index);
  });
  QObject::connect(view, &QTreeView::customContextMenuRequested, window_, [weak, view](const QPoint& position) {
    auto window = weak.lock();
    if (!window) return;
    if (QMenu* menu = window->prepareContextMenu(position)) menu->popup(view->viewport()->mapToGlobal(position));
  });
  ListMainWindow* shown = window_;
  QObject::connect(view, &QTreeView::expanded, window_,
                   [shown](const QModelIndex& index) { shown->expandedIndexes.emplace_back(index); });
  QObject::connect(view, &QTreeView::collapsed, window_, [shown](const QModelIndex& index) {
    std::erase(shown->expandedIndexes, QPersistentModelIndex(index));
  });
  window_->willClose = [weak] {
    if (auto window = weak.lock()) window->windowWillClose();
  };
  window_->onCopy = [weak] {
    if (auto window = weak.lock()) window->copyNamesOfSelectedItems();
  };

  ui.dragAndDropDestination->setDelegate(weak);
  connectActions();
  ui.moveItemsToolbarButton->setEnabled(false);
  ui.copyItemsToolbarButton->setEnabled(false);

  core_->fire(ListWindowLoadedEvent(std::make_shared<TreeOutlineView>(view, model_)));
}

void ListWindow::connectActions() {
  ML_ASSERT_MAIN_THREAD();
  auto& ui = *ui_;
  std::weak_ptr<ListWindow> weak = self();
  auto on = [&](QAction* action, std::function<void(ListWindow&, QAction*)> run) {
    action->setText(appkit::localizedText(action->text()));
    action->setIconText(action->text());
    if (!action->toolTip().isEmpty()) action->setToolTip(appkit::localizedText(action->toolTip()));
    QObject::connect(action, &QAction::triggered, window_, [weak, action, run] {
      if (auto window = weak.lock()) run(*window, action);
    });
  };
  on(ui.addItemAction, [](ListWindow& w, QAction*) { w.addItem(); });
  on(ui.addContentsAction, [](ListWindow& w, QAction*) { w.addContents(); });
  on(ui.removeItemAction, [](ListWindow& w, QAction*) { w.removeItem(); });
  on(ui.moveToTrashAction, [](ListWindow& w, QAction*) { w.moveSelectedToTrash(); });
  on(ui.moveItemsToolbarButton, [](ListWindow& w, QAction*) { w.moveSelectedItems(); });
  on(ui.copyItemsToolbarButton, [](ListWindow& w, QAction*) { w.copySelectedItems(); });
  on(ui.infoToolbarItem, [](ListWindow& w, QAction* a) { w.onToolbarItemSelected(tagOf(a)); });
  on(ui.openToolbarItem, [](ListWindow& w, QAction* a) { w.onToolbarItemSelected(tagOf(a)); });
  on(ui.actionsToolbarItem, [](ListWindow&, QAction*) {});
  on(ui.editNameMenuItem, [](ListWindow& w, QAction*) { w.editNameOfSelectedItem(); });
  on(ui.copyNameMenuItem, [](ListWindow& w, QAction*) { w.copyNamesOfSelectedItems(); });
  on(ui.copyNamesMenuItem, [](ListWindow& w, QAction*) { w.copyNamesOfSelectedItems(); });
  on(ui.copyNamesAction, [](ListWindow& w, QAction*) { w.copyNamesOfSelectedItems(); });
  on(ui.openMenuItem, [](ListWindow& w, QAction*) { w.openSelectedFiles(); });
  on(ui.renameItemsMenuItem, [](ListWindow& w, QAction* a) { w.renameSelectedItems(tagOf(a)); });
  on(ui.upperCaseAction, [](ListWindow& w, QAction*) { w.changeCase(rename::CaseFormat::upper); });
  on(ui.lowerCaseAction, [](ListWindow& w, QAction*) { w.changeCase(rename::CaseFormat::lower); });
  on(ui.titleCaseAction, [](ListWindow& w, QAction*) { w.changeCase(rename::CaseFormat::title); });
  on(ui.clearCreatorAction, [](ListWindow& w, QAction*) { w.clearCreatorField(); });
  on(ui.clearTypeAction, [](ListWindow& w, QAction*) { w.clearTypeField(); });
  on(ui.showFileManagerInfoAction, [](ListWindow& w, QAction*) { w.showFinderInfo(); });
  on(ui.removeFromListMenuItem, [](ListWindow& w, QAction*) { w.removeItem(); });
  on(ui.moveToTrashMenuItem, [](ListWindow& w, QAction*) { w.moveSelectedToTrash(); });
  // The context menu's file manager and info items change their action with the selection.
  for (QAction* action : {ui.fileManagerMenuItem, ui.infoMenuItem}) action->setText(appkit::localizedText(action->text()));
  QObject::connect(ui.multipleSelectionInfoButton, &QPushButton::clicked, window_, [weak] {
    if (auto window = weak.lock()) window->openInfoWindow();
  });
  ui.multipleSelectionInfoButton->setText(appkit::localizedText(ui.multipleSelectionInfoButton->text()));
  ui.emptyListLabel->setText(appkit::localizedText(ui.emptyListLabel->text()));

  const QWidget& base = *window_;
  ui.addItemAction->setIcon(themeIcon("list-add", QStyle::SP_FileDialogNewFolder, base));
  ui.addContentsAction->setIcon(themeIcon("folder-open", QStyle::SP_DirOpenIcon, base));
  ui.removeItemAction->setIcon(themeIcon("list-remove", QStyle::SP_DialogDiscardButton, base));
  ui.moveToTrashAction->setIcon(themeIcon("user-trash", QStyle::SP_TrashIcon, base));
  ui.moveItemsToolbarButton->setIcon(themeIcon("go-jump", QStyle::SP_ArrowForward, base));
  ui.copyItemsToolbarButton->setIcon(themeIcon("edit-copy", QStyle::SP_FileDialogContentsView, base));
  ui.infoToolbarItem->setIcon(themeIcon("dialog-information", QStyle::SP_MessageBoxInformation, base));
  ui.openToolbarItem->setIcon(themeIcon("document-open", QStyle::SP_DialogOpenButton, base));
  ui.actionsToolbarItem->setIcon(themeIcon("system-run", QStyle::SP_FileDialogDetailedView, base));

  actionsMenu_ = new QMenu(window_);  // owned by the window
  for (QAction* action : {ui.upperCaseAction, ui.lowerCaseAction, ui.titleCaseAction}) actionsMenu_->addAction(action);
  actionsMenu_->addSeparator();
  actionsMenu_->addAction(ui.editNameMenuItem);
  actionsMenu_->addAction(ui.renameItemsMenuItem);
  actionsMenu_->addAction(ui.copyNamesAction);
  actionsMenu_->addSeparator();
  actionsMenu_->addAction(ui.clearCreatorAction);
  actionsMenu_->addAction(ui.clearTypeAction);
  actionsMenu_->addSeparator();
  actionsMenu_->addAction(ui.showFileManagerInfoAction);
  ui.actionsToolbarItem->setMenu(actionsMenu_);
  if (auto* button = qobject_cast<QToolButton*>(ui.toolBar->widgetForAction(ui.actionsToolbarItem))) {
    button->setPopupMode(QToolButton::InstantPopup);
  }

  contextMenu_ = new QMenu(window_);  // owned by the window
  contextMenu_->addAction(ui.fileManagerMenuItem);
  contextMenu_->addAction(ui.infoMenuItem);
  contextMenu_->addSeparator();
  contextMenu_->addAction(ui.openMenuItem);
  // The items the context menu shows or hides by the selection are its own: an action's
  // visibility holds in every menu that shows it, so hiding a shared one ("Edit Name" is in the
  // Actions menu too) would hide it there as well.
  contextMenu_->addAction(contextStandIn(ui.editNameMenuItem, contextMenu_));
  contextMenu_->addAction(ui.renameItemsMenuItem);
  contextMenu_->addAction(contextStandIn(ui.copyNameMenuItem, contextMenu_));
  contextMenu_->addAction(contextStandIn(ui.copyNamesMenuItem, contextMenu_));
  contextMenu_->addSeparator();
  for (QAction* action : {ui.upperCaseAction, ui.lowerCaseAction, ui.titleCaseAction}) contextMenu_->addAction(action);
  contextMenu_->addSeparator();
  contextMenu_->addAction(ui.clearCreatorAction);
  contextMenu_->addAction(ui.clearTypeAction);
  contextMenu_->addSeparator();
  contextMenu_->addAction(ui.removeFromListMenuItem);
  contextMenu_->addAction(ui.moveToTrashMenuItem);
}

void ListWindow::windowWillClose() {
  ML_ASSERT_MAIN_THREAD();
  core_->state().store->close();
  context_.announce(std::make_shared<const shell::ApplicationEvents::WindowClosed>(self()));
  if (globalObserverDisconnect_) globalObserverDisconnect_();
  details_.cancel();
  // A closed list stops adding rows and lets go of those it has, whoever still holds the
  // controller; both happen here on the main thread, where rows are added.
  auto state = core_->state();
  state.store->close();
  if (state.dataSource->clear() >= kManyRows) {
    // The outline's own records of the rows go with the widgets, later on; their memory goes
    // back to the system then too.
    QObject::connect(window_, &QObject::destroyed, [] { releaseFreedMemory(); });
  }
}

// Actions -----------------------------------------------------------------------------------------

void ListWindow::addItem() { fire(std::make_shared<SelectItemsToAdd>()); }
void ListWindow::addContents() { fire(std::make_shared<SelectContainersToAdd>()); }
void ListWindow::removeItem() { fire(std::make_shared<RemoveSelectedItems>(false)); }
void ListWindow::moveSelectedToTrash() { fire(std::make_shared<RemoveSelectedItems>(true)); }
void ListWindow::moveSelectedItems() { fire(Global::move()); }
void ListWindow::copySelectedItems() { fire(Global::copy()); }
void ListWindow::openInfoWindow() { fire(Global::fileInfo()); }
void ListWindow::showFinderInfo() { fire(Global::finderInfo()); }
void ListWindow::openSelectedFiles() { fire(Global::open()); }
void ListWindow::clearCreatorField() { fire(std::make_shared<ClearCreatorCommand>()); }
void ListWindow::clearTypeField() { fire(std::make_shared<ClearTypeCommand>()); }
void ListWindow::copyNamesOfSelectedItems() { fire(std::make_shared<CopyNames>()); }

void ListWindow::changeCase(rename::CaseFormat format) { fire(std::make_shared<ChangeCaseFormat>(format)); }

void ListWindow::renameSelectedItems(std::optional<int> senderTag) {
  ML_ASSERT_MAIN_THREAD();
  if (!senderTag || *senderTag != 0) return;
  fire(Global::rename(core_->state().selectedItems(), self()));
}

void ListWindow::editNameOfSelectedItem() {
  ML_ASSERT_MAIN_THREAD();
  if (!window_) return;
  auto selected = list::selectedItems(*ui_->outlineView);
  if (selected.empty()) return;
  QModelIndex name = model_->index(selected.front().row(), ListOutlineModel::nameColumn, selected.front().parent());
  ui_->outlineView->setCurrentIndex(name);
  ui_->outlineView->edit(name);
}

void ListWindow::onToolbarItemSelected(int tag) {
  ML_ASSERT_MAIN_THREAD();
  switch (tag) {
    case 3:
    case 5: fire(Global::fileInfo()); break;
    case 4: fire(Global::open()); break;
    default: break;
  }
}

void ListWindow::openInInfoWindowOnDoubleClick(const QModelIndex& index) {
  ML_ASSERT_MAIN_THREAD();
  if (!model_) return;
  if (PathListItem* row = model_->item(index)) fire(Global::fileInfo(std::vector<files::Path>{row->source()}));
}

void ListWindow::dropped(const std::vector<std::filesystem::path>& files) {
  ML_ASSERT_MAIN_THREAD();
  std::vector<files::Path> paths;
  paths.reserve(files.size());
  for (const auto& file : files) paths.emplace_back(files::FileSystems::defaultFileSystem(), file);
  core_->fire(ItemsAddedEvent(std::move(paths)));
}

void ListWindow::outlineViewSelectionDidChange() {
  ML_ASSERT_MAIN_THREAD();
  LOG_TRACE();
  std::vector<files::Path> paths;
  for (const QModelIndex& index : list::selectedItems(*ui_->outlineView)) {
    if (PathListItem* row = model_->item(index)) paths.push_back(row->source());
  }
  core_->fire(ListWindowSelectionChangedEvent(std::move(paths)));
}

// Context menu ------------------------------------------------------------------------------------

QMenu* ListWindow::prepareContextMenu(const QPoint& position) {
  ML_ASSERT_MAIN_THREAD();
  if (!window_ || !contextMenu_) return nullptr;
  auto& ui = *ui_;
  QTreeView* view = ui.outlineView;
  const QModelIndex clicked = view->indexAt(position);
  if (clicked.isValid()) {
    const QModelIndex row = clicked.siblingAtColumn(0);
    if (!view->selectionModel()->isRowSelected(row.row(), row.parent())) {
      view->selectionModel()->select(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      view->selectionModel()->setCurrentIndex(row, QItemSelectionModel::NoUpdate);
    }
  }
  const auto selected = list::selectedItems(*view);
  const auto count = selected.size();
  if (count == 0) return nullptr;

  for (QAction* action : contextMenu_->actions()) {
    const int tag = tagOf(action);
    if (tag == 5 || tag == 6) action->setVisible(count <= 1);
    if (tag == 7) action->setVisible(count >= 2);
  }
  for (auto& connection : contextConnections_) QObject::disconnect(connection);
  contextConnections_.clear();
  for (QAction* item : {ui.fileManagerMenuItem, ui.infoMenuItem}) {
    if (QMenu* old = item->menu()) {
      item->setMenu(nullptr);
      old->deleteLater();
    }
  }

  std::weak_ptr<ListWindow> weak = self();
  if (count < 2) {
    if (PathListItem* row = model_->item(selected.front())) buildAncestorMenus(row->source());
    return contextMenu_;
  }
  std::vector<files::Path> paths;
  for (const QModelIndex& index : selected) {
    if (PathListItem* row = model_->item(index)) paths.push_back(row->source());
  }
  contextConnections_.push_back(QObject::connect(ui.fileManagerMenuItem, &QAction::triggered, window_, [weak, paths] {
    if (auto window = weak.lock()) window->fire(Global::reveal(paths));
  }));
  contextConnections_.push_back(QObject::connect(ui.infoMenuItem, &QAction::triggered, window_, [weak] {
    if (auto window = weak.lock()) window->openInfoWindow();
  }));
  return contextMenu_;
}

void ListWindow::buildAncestorMenus(const files::Path& item) {
  ML_ASSERT_MAIN_THREAD();
  auto& ui = *ui_;
  std::weak_ptr<ListWindow> weak = self();
  auto* openMenu = new QMenu(contextMenu_);  // owned by the context menu
  auto* infoMenu = new QMenu(contextMenu_);
  for (const auto& entry : ancestorEntries(item)) {
    const QIcon icon(appkit::iconFor(files::TypeDescriber::current()->icon(entry.path.url())).pixmap(16, 16));
    const files::Path path = entry.path;
    QObject::connect(openMenu->addAction(icon, text(entry.title)), &QAction::triggered, window_, [weak, path] {
      if (auto window = weak.lock()) window->fire(Global::open(std::vector<files::Path>{path}));
    });
    QObject::connect(infoMenu->addAction(icon, text(entry.title)), &QAction::triggered, window_, [weak, path] {
      LOG_INFO("opening file info. " << path.description());
      if (auto window = weak.lock()) window->fire(Global::fileInfo(std::vector<files::Path>{path}));
    });
  }
  ui.fileManagerMenuItem->setMenu(openMenu);
  ui.infoMenuItem->setMenu(infoMenu);
}

// Display update ----------------------------------------------------------------------------------

int64_t ListWindow::shownRowCount() const {
  ML_ASSERT_MAIN_THREAD();
  QTreeView* view = ui_->outlineView;
  int64_t shown = model_->rowCount();
  for (const QPersistentModelIndex& persistent : window_->expandedIndexes) {
    if (!persistent.isValid()) continue;
    const QModelIndex index = persistent;
    bool visible = view->isExpanded(index);
    for (QModelIndex parent = index.parent(); visible && parent.isValid(); parent = parent.parent()) {
      visible = view->isExpanded(parent);
    }
    if (visible) shown += model_->rowCount(index);
  }
  return shown;
}

QAction* ListWindow::actionsItem() const {
  const QString label = appkit::localizedText(QStringLiteral("Actions"));
  for (QAction* action : ui_->toolBar->actions()) {
    if (action->iconText() == label) return action;
  }
  return nullptr;
}

void ListWindow::update(const ListWindowState& state) {
  ML_ASSERT_MAIN_THREAD();
  if (!window_ || !model_) return;
  auto& ui = *ui_;
  QTreeView* view = ui.outlineView;
  std::erase_if(window_->expandedIndexes, [](const QPersistentModelIndex& index) { return !index.isValid(); });
  // A row's values never change once it is built (a changed item gets a new row, announced as
  // such), so the reload is a repaint of the rows shown; telling the view that every row changed
  // would make it measure all of them again, which takes long in a list of many.
  view->viewport()->update();

  const std::size_t topLevel = state.dataSource->items().size();
  auto selected = list::selectedItems(*view);
  const DisplayPlan plan = planDisplay(topLevel, shownRowCount(), static_cast<int>(selected.size()));
  window_->setWindowTitle(text(plan.title));
  QAction* actions = actionsItem();
  if (plan.tab == DetailTab::emptyList) {
    ui.detailsTabView->setCurrentIndex(static_cast<int>(DetailTab::emptyList));
    if (actions) actions->setEnabled(false);
    enableSelectionActions(false);
    details_.cancel();
    detailsRow_.reset();
    return;
  }
  if (plan.moveAndCopyEnabled) {
    ui.moveItemsToolbarButton->setEnabled(*plan.moveAndCopyEnabled);
    ui.copyItemsToolbarButton->setEnabled(*plan.moveAndCopyEnabled);
  }
  if (actions) actions->setEnabled(plan.actionsEnabled);
  if (plan.selectFirstRow) {
    const QModelIndex first = model_->index(0, 0);
    view->selectionModel()->select(first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    selected = list::selectedItems(*view);
  }
  enableSelectionActions(!selected.empty());
  ui.detailsTabView->setCurrentIndex(static_cast<int>(plan.tab));
  if (plan.tab == DetailTab::singleItem && !selected.empty()) {
    if (PathListItem* row = model_->item(selected.front())) showSingleItemDetails(*row);
    return;
  }
  ui.selectedItemsCountLabel->setText(text(plan.selectedCountText));
  ui.multipleSelectionInfoButton->setEnabled(plan.infoButtonEnabled);
  details_.cancel();
  detailsRow_.reset();
}

void ListWindow::enableSelectionActions(bool anySelected) {
  // These act on the selection only: with nothing selected they would do nothing.
  auto& ui = *ui_;
  for (QAction* action : {ui.removeItemAction, ui.moveToTrashAction, ui.infoToolbarItem, ui.openToolbarItem,
                          ui.moveItemsToolbarButton, ui.copyItemsToolbarButton}) {
    action->setEnabled(anySelected);
  }
}

void ListWindow::showSingleItemDetails(PathListItem& row) {
  ML_ASSERT_MAIN_THREAD();
  auto& ui = *ui_;
  ui.selectedItemIcon->setPixmap(model_->iconOf(row).pixmap(64, 64));
  ui.selectedItemName->setText(text(files::visibleName(row.name())));
  // The same row as last time: its details are shown or on their way.
  if (detailsRow_.lock().get() == &row) return;
  detailsRow_ = row.shared_from_this();

  ui.selectedItemKind->clear();
  ui.selectedItemCreationDate->clear();
  ui.selectedItemModifiedDate->clear();
  ui.selectedItemSizePart2->clear();
  ui.selectedItemSize->setText(row.isExpandable() ? appkit::localizedText(details::kCalculatingSize)
                                                  : text(details::sizeText(row.byteCount())));
  std::weak_ptr<ListWindow> weak = self();
  details_.load(
      row.source(), row.isExpandable(),
      [weak](const ItemFacts& facts) {
        auto window = weak.lock();
        if (!window || !window->window_) return;
        auto& fields = *window->ui_;
        fields.selectedItemKind->setText(text(facts.kind));
        if (!facts.dates) {
          fields.selectedItemCreationDate->setText(appkit::localizedText(details::kUnknownDate));
          fields.selectedItemModifiedDate->setText(appkit::localizedText(details::kUnknownDate));
          return;
        }
        fields.selectedItemCreationDate->setText(text(details::dateText(facts.dates->creation)));
        fields.selectedItemModifiedDate->setText(text(details::dateText(facts.dates->modification)));
      },
      [weak](const FolderFacts& facts) {
        auto window = weak.lock();
        if (!window || !window->window_) return;
        auto& fields = *window->ui_;
        fields.selectedItemSize->setText(text(details::sizeText(facts.bytes)));
        fields.selectedItemSizePart2->setText(facts.counts ? text(details::folderSummary(*facts.counts)) : QString());
      });
}

}  // namespace ml::list
