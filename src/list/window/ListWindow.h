#pragma once
// The controller of a list window: a window listing files and folders chosen by the user in an
// outline with columns, with a detail pane for the selection, a toolbar, a context menu and a
// drop area. It owns the window's store (ListWindowState) and is its only subscriber, turns the
// user's actions into commands and events on that store (the list's own commands, and the
// application's global commands, which act on the selection when given no items), announces
// itself to the global store while open, and forwards renames made elsewhere in the application
// to its store as ItemsMoved.
//
// Other parts of the application make one with std::make_shared and fill it with addItems() (or
// by firing ItemsAddedEvent on core()); events fired before the window loads are shown by its
// first redraw. Closing the window stops the rows still being built for it and lets go of its
// rows (their memory goes back to the system when there were many). Held by shared_ptr; the
// widgets go with deleteLater (at once on the main thread while the application quits), so the
// last reference may be dropped on any thread. Everything else runs on the main thread.
#include <QPointer>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "files/Path.h"
#include "list/display/SelectionDetails.h"
#include "list/state/ListWindowState.h"
#include "list/window/FileDropDestination.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/GlobalPool.h"
#include "platform/store/Core.h"
#include "rename/rules/CaseFormat.h"
#include "shell/WindowContext.h"
#include "shell/core/WindowController.h"

class QMenu;
class QModelIndex;
class QPoint;

namespace Ui {
class ListWindow;
}

namespace ml::list {

class ListMainWindow;
class ListOutlineModel;
class PathListItem;

class ListWindow final : public shell::ListWindowController, public FileDropDelegate {
 public:
  // `context` is what the window reaches of the application; `clock` stamps the store's events;
  // `background` reads the selected item's details (folder totals included). All must outlive
  // the window.
  explicit ListWindow(shell::WindowContext context = {}, dispatch::Clock& clock = dispatch::Clock::system(),
                      dispatch::Queue& background = dispatch::GlobalPool::shared());
  ~ListWindow() override;

  // Fires ItemsAddedEvent with the items on the window's store, and after a large addition
  // hands the memory it freed back to the system. Any thread. Off the main thread it first waits
  // while more than kWaitingPaths paths handed over earlier wait for their rows (a second at a
  // time at most, and not once the window has closed), so that a long list handed over piece by
  // piece never piles up in the store; on the main thread it never waits.
  void addItems(const std::vector<files::Path>& items) override;
  static constexpr std::size_t kWaitingPaths = 20000;
  // Loads the window on first use and shows it.
  void show() override;
  const void* windowIdentity() const override;

  ListStore& core() { return *core_; }
  const std::shared_ptr<ListStore>& sharedCore() const { return core_; }
  // The window, loading it on the first call (announcing it and subscribing to the store).
  ListMainWindow* window();
  bool isWindowLoaded() const;
  Ui::ListWindow& ui() { return *ui_; }
  ListOutlineModel* model() const;

  // Actions (toolbar, context menu, detail pane, main menu).
  void addItem();
  void addContents();
  void removeItem();
  void moveSelectedToTrash();
  void moveSelectedItems();
  void copySelectedItems();
  void openInfoWindow();
  void showFinderInfo();
  void openSelectedFiles();
  void changeCase(rename::CaseFormat format);
  void clearCreatorField();
  void clearTypeField();
  void copyNamesOfSelectedItems();
  // Only for a sender whose tag is 0 (nothing without a sender).
  void renameSelectedItems(std::optional<int> senderTag);
  // Starts editing the first selected row's name in place.
  void editNameOfSelectedItem();
  // Tags 3 and 5 show info, 4 opens; other tags do nothing.
  void onToolbarItemSelected(int tag);
  void openInInfoWindowOnDoubleClick(const QModelIndex& index);

  // The context menu for a click at `position` (viewport coordinates): selects the clicked row
  // when it is not selected, then fits the menu to the selection. Null when nothing is selected.
  QMenu* prepareContextMenu(const QPoint& position);

  // FileDropDelegate: adds the dropped files, in order.
  void dropped(const std::vector<std::filesystem::path>& files) override;

  // The redraw after every event of the store.
  void update(const ListWindowState& state);
  void windowWillClose();

 private:
  std::shared_ptr<ListWindow> self();
  void windowDidLoad();
  void connectActions();
  void outlineViewSelectionDidChange();
  void fire(std::shared_ptr<store::Command<ListWindowState>> command);
  void showSingleItemDetails(PathListItem& row);
  // Enables the toolbar items that act on the selection exactly when something is selected.
  void enableSelectionActions(bool anySelected);
  int64_t shownRowCount() const;
  QAction* actionsItem() const;
  void buildAncestorMenus(const files::Path& item);

  std::shared_ptr<ListStore> core_;
  std::function<void()> globalObserverDisconnect_;
  std::unique_ptr<Ui::ListWindow> ui_;
  QPointer<ListMainWindow> window_;
  QPointer<ListOutlineModel> model_;
  QPointer<QMenu> contextMenu_;
  QPointer<QMenu> actionsMenu_;
  std::vector<QMetaObject::Connection> contextConnections_;
  SelectionDetails details_;
  std::weak_ptr<PathListItem> detailsRow_;
  shell::WindowContext context_;
  dispatch::Clock& clock_;
  dispatch::Queue& background_;
};

}  // namespace ml::list
