#pragma once
// The top pane of the Info window: name, icon, kind, location, tags, total size and the three
// dates of the shown item. A typed name becomes a pending edit when editing ends; a date menu
// sets the date to now or to a related date, or opens a date sheet. A marker beside a field
// shows while its edit is pending. Never writes to the file system.
//
// Every state redraws the whole pane from the state and the item's attributes. A folder's total
// size is computed in the background (once at a time per item) and kept in knownSizes, so later
// redraws show it at once; closing the window (or destroying the pane) stops the computations
// still running. Main thread.
#include <QComboBox>
#include <QPointer>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "appkit/TolvekViewController.h"
#include "files/Date.h"
#include "files/FileSize.h"
#include "info/StoreConnection.h"

namespace Ui {
class BasicInfoController;
}

namespace ml::info {

class BasicInfoController final : public appkit::TolvekViewController, public StoreConnection {
  Q_OBJECT
 public:
  explicit BasicInfoController(QWidget* parent = nullptr);
  ~BasicInfoController() override;

  // The window whose title follows the shown item; its closing stops the size computations.
  void setWindow(QWidget* window);
  void update(const InfoWindowState& state);

  // Roles of a date menu item's represented object: the kind ("date", "now", "set", "adjust",
  // "none") and, for a date, its nanoseconds since 1970 as decimal text.
  static constexpr int kRepresentedKindRole = Qt::UserRole;
  static constexpr int kRepresentedDateRole = Qt::UserRole + 1;

 public slots:
  // A date menu's choice (the sender is the menu).
  void onDateChanged(int index);
  // Editing of a text field ended (the sender is the field).
  void controlTextDidEndEditing();

 private:
  void updateDateCombobox(QComboBox& popup, std::optional<files::Date> value, std::optional<files::Date> related,
                          const QString& relatedName);
  void updateDates(const InfoWindowState& state, const files::Path& item);
  void updateSize(const files::Path& item);
  void showSize(const files::FileSize& size);
  void stopSizing();
  bool eventFilter(QObject* watched, QEvent* event) override;

  std::unique_ptr<Ui::BasicInfoController> ui_;
  QPointer<QWidget> window_;
  std::optional<files::Path> shown_;
  std::string fieldName_;  // the name whose visible form the name field was given: pending, or the item's
  std::map<std::string, std::stop_source> sizing_;  // items whose size is being computed
};

}  // namespace ml::info
