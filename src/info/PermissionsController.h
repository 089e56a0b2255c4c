#pragma once
// The permissions pane of the Info window: the shown item's owner and group among the local
// accounts and groups, and the read and write access of owner, group and everyone else. All of
// it is shown, not edited: nothing writes an owner, a group or access rights back, so every
// pop-up is read-only (a pending owner or group edit from elsewhere still shows, marked).
// Each access pop-up names exactly the bits the item has: none, read, read and write, or
// write only. The account and group lists are read anew on every redraw. Main thread.
#include <memory>

#include "appkit/TolvekViewController.h"
#include "info/StoreConnection.h"

namespace Ui {
class PermissionsController;
}

namespace ml::info {

class PermissionsController final : public appkit::TolvekViewController, public StoreConnection {
  Q_OBJECT
 public:
  explicit PermissionsController(QWidget* parent = nullptr);
  ~PermissionsController() override;

  // Once, when the window has loaded: gives each access item its permission bits.
  void windowDidLoad();
  void update(const InfoWindowState& state);

  // The role under which an access item keeps its permission bits.
  static constexpr int kPermissionsRole = Qt::UserRole;
  // The role under which an access item keeps its tag (0 none, 1 read, 2 read and write, 3 write).
  static constexpr int kTagRole = Qt::UserRole + 1;

 public slots:
  void ownerChanged();
  void groupChanged();

 private:
  std::unique_ptr<Ui::PermissionsController> ui_;
};

}  // namespace ml::info
