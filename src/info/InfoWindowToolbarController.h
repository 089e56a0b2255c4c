#pragma once
// The Info window's toolbar: the application's verbs on the shown item (reveal, open, the file
// manager's properties, copy, move, move to the Trash), batch rename of all the window's items,
// a menu that collects items in a new list window, and the copy-attribute menu, whose items are
// enabled where the shown item has such an attribute. Main thread.
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QToolBar>
#include <memory>

#include "info/StoreConnection.h"
#include "shell/core/WindowController.h"

namespace ml::info {

class InfoWindowToolbarController final : public QObject, public StoreConnection {
  Q_OBJECT
 public:
  // Fills `toolbar` with the window's actions; the menus belong to this controller.
  explicit InfoWindowToolbarController(QToolBar& toolbar, QObject* parent = nullptr);
  ~InfoWindowToolbarController() override;

  // The window controller the rename dialog opens on.
  void setWindow(std::weak_ptr<shell::WindowController> window) { window_ = std::move(window); }
  void update(const InfoWindowState& state);

  QMenu& copyAttributeMenu() { return *copyAttributeMenu_; }
  QMenu& listMenu() { return *listMenu_; }
  // The item of `menu` with the given tag, or null.
  static QAction* itemWithTag(QMenu& menu, int tag);

 public slots:
  void revealItemInFinder();
  void openFile();
  void showFinderInfo();
  void copyFile();
  void recycleItem();
  void moveFile();
  void renameItems();
  // Menu actions (the sender is the menu item, whose tag picks what is done).
  void openFilesInListView();
  void copyAttribute();
  // Enables the list menu's items for the window's current state before it opens.
  void updateListMenu();

 private:
  std::unique_ptr<QMenu> copyAttributeMenu_;
  std::unique_ptr<QMenu> listMenu_;
  std::weak_ptr<shell::WindowController> window_;
};

}  // namespace ml::info
