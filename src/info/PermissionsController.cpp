#include "info/PermissionsController.h"

#include <algorithm>

#include "files/FilePermissions.h"
#include "files/FileSystem.h"
#include "files/UsersAndGroups.h"
#include "info/PaneSupport.h"
#include "info/state/InfoWindowEvents.h"
#include "platform/dispatch/QueueAssert.h"
#include "ui_PermissionsController.h"

namespace ml::info {

namespace {

using files::FilePermissions;

// Tags of the access items.
constexpr int kNoAccess = 0;
constexpr int kReadOnly = 1;
constexpr int kReadWrite = 2;
constexpr int kWriteOnly = 3;

// Selects the access item naming the class's read and write bits. A count of the bits would put
// write-only access under "Read only", which is exactly what the item does not allow.
void showAccess(QComboBox& popup, FilePermissions permissions, FilePermissions read, FilePermissions write) {
  const bool reads = permissions.contains(read), writes = permissions.contains(write);
  const int tag = reads ? (writes ? kReadWrite : kReadOnly) : (writes ? kWriteOnly : kNoAccess);
  const int index = popup.findData(tag, PermissionsController::kTagRole);
  if (index >= 0) popup.setCurrentIndex(index);
}

std::optional<std::string> pendingText(const InfoWindowState& state, EditableField field) {
  const FieldValue* value = state.change(field);
  const auto* text = value ? valueAs<std::string>(*value) : nullptr;
  return text ? std::optional(*text) : std::nullopt;
}

}  // namespace

PermissionsController::PermissionsController(QWidget* parent)
    : appkit::TolvekViewController(parent), ui_(std::make_unique<Ui::PermissionsController>()) {
  ui_->setupUi(this);
  keepMarkerSpace(*this);
  connect(ui_->ownerPopup, &QComboBox::activated, this, &PermissionsController::ownerChanged);
  connect(ui_->groupPopup, &QComboBox::activated, this, &PermissionsController::groupChanged);
  // Nothing writes an owner or a group back: the pop-ups show them and offer no choice.
  ui_->ownerPopup->setEnabled(false);
  ui_->groupPopup->setEnabled(false);
  finishLoading();
}

PermissionsController::~PermissionsController() = default;

void PermissionsController::windowDidLoad() {
  ML_ASSERT_MAIN_THREAD();
  struct Access {
    QComboBox* popup;
    FilePermissions read, write;
  };
  const Access classes[] = {
      {ui_->ownerPermissionsPopup, FilePermissions::ownerRead, FilePermissions::ownerWrite},
      {ui_->groupPermissionsPopup, FilePermissions::groupRead, FilePermissions::groupWrite},
      {ui_->globalPermissionsPopup, FilePermissions::globalRead, FilePermissions::globalWrite},
  };
  for (const auto& access : classes) {
    // Item i of the interface has tag i.
    const FilePermissions values[] = {FilePermissions::none, access.read, {access.read, access.write}, access.write};
    static_assert(kNoAccess == 0 && kReadOnly == 1 && kReadWrite == 2 && kWriteOnly == 3);
    for (int i = 0; i < 4 && i < access.popup->count(); ++i) {
      access.popup->setItemData(i, values[i].rawValue(), kPermissionsRole);
      access.popup->setItemData(i, i, kTagRole);
    }
  }
}

void PermissionsController::update(const InfoWindowState& state) {
  ML_ASSERT_MAIN_THREAD();
  const auto item = state.displayedPath();
  if (!item) return;
  const auto posix = item->fileSystem().posixAttributes(*item);
  if (!posix) return;  // the item has gone; the pane keeps what it showed

  const std::string owner = posix->owner();
  const std::string ownerShown = pendingText(state, EditableField::owner).value_or(owner);
  ui_->ownerPopup->clear();
  ui_->ownerPopup->addItem(qt(owner));
  ui_->ownerPopup->insertSeparator(ui_->ownerPopup->count());
  ui_->ownerPopup->addItem(QStringLiteral("root"));
  ui_->ownerPopup->insertSeparator(ui_->ownerPopup->count());
  if (auto users = files::allUsers()) {
    for (const auto& user : *users) {
      if (user != owner && user != "root") ui_->ownerPopup->addItem(qt(user));
    }
  }
  ui_->ownerPopup->setCurrentIndex(ui_->ownerPopup->findText(qt(ownerShown), Qt::MatchExactly));
  ui_->ownerChangedMarker->setVisible(ownerShown != owner);

  const std::string group = posix->group();
  const std::string groupShown = pendingText(state, EditableField::group).value_or(group);
  ui_->groupPopup->clear();
  if (auto groups = files::allGroups()) {
    std::vector<std::string> sorted = *groups;
    std::sort(sorted.begin(), sorted.end());
    for (const auto& name : sorted) ui_->groupPopup->addItem(qt(name));
  } else {
    ui_->groupPopup->addItem(qt(group));
  }
  // A group missing from the list (a name starting with "_") has no item: nothing is selected.
  ui_->groupPopup->setCurrentIndex(ui_->groupPopup->findText(qt(groupShown), Qt::MatchExactly));
  ui_->groupChangedMarker->setVisible(groupShown != group);

  ui_->ownerPermissionsChangedMarker->hide();
  ui_->groupPermissionsChangedMarker->hide();
  ui_->globalPermissionsChangedMarker->hide();
  const FilePermissions permissions = posix->permissions();
  showAccess(*ui_->ownerPermissionsPopup, permissions, FilePermissions::ownerRead, FilePermissions::ownerWrite);
  showAccess(*ui_->groupPermissionsPopup, permissions, FilePermissions::groupRead, FilePermissions::groupWrite);
  showAccess(*ui_->globalPermissionsPopup, permissions, FilePermissions::globalRead, FilePermissions::globalWrite);
}

void PermissionsController::ownerChanged() {
  ML_ASSERT_MAIN_THREAD();
  fire(FieldUpdated(EditableField::owner, ui_->ownerPopup->currentText().toStdString()));
}

void PermissionsController::groupChanged() {
  ML_ASSERT_MAIN_THREAD();
  fire(FieldUpdated(EditableField::group, ui_->groupPopup->currentText().toStdString()));
}

}  // namespace ml::info
