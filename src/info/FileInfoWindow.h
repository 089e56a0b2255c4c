#pragma once
// The Info window's widgets, loaded from its interface file: the toolbar, the basic, Finder,
// flags and permissions panes and the button bar. It renders nothing itself; the controller
// (InfoWindow) connects the panes to the window's store. Main thread.
//
// Subscribed to the store itself for one thing: when the shown item does not exist (a path given
// at launch that names nothing, an item deleted meanwhile), the window says so in place of the
// panes, which would show nothing but "Unknown" and offer edits that cannot be written.
#include <QLabel>
#include <QMainWindow>
#include <functional>
#include <memory>

#include "info/state/InfoWindowState.h"

namespace Ui {
class FileInfoWindow;
}

namespace ml::info {

class BasicInfoController;
class ButtonBarController;
class FinderAttributesController;
class FlagAttributesController;
class PermissionsController;
class InfoWindowToolbarController;

class FileInfoWindow final : public QMainWindow {
  Q_OBJECT
 public:
  explicit FileInfoWindow(QWidget* parent = nullptr);
  ~FileInfoWindow() override;

  BasicInfoController& basic();
  ButtonBarController& buttons();
  FlagAttributesController& flags();
  FinderAttributesController& finder();
  InfoWindowToolbarController& toolbar() { return *toolbar_; }
  PermissionsController& permissions();

  // Shows or hides the notice of a missing item, and the panes the other way round.
  void update(const InfoWindowState& state);

  // Called once when the window closes, whoever closes it.
  void setWillClose(std::function<void()> willClose) { willClose_ = std::move(willClose); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  std::unique_ptr<Ui::FileInfoWindow> ui_;
  InfoWindowToolbarController* toolbar_;  // a child QObject
  QLabel* missingNotice_;                  // a child widget, hidden while the item exists
  std::function<void()> willClose_;
  bool closingByButton_ = false;  // the cancel button's close, which asks nothing
  // Until the user sizes the window, it grows to show the panes whole as far as its screen has
  // room (the panes scroll in what is left): their sizes settle only once they are drawn.
  void fitToPanes();
  bool followsPanes_ = true;
  QSize fittedSize_;  // the size fitToPanes() last asked for
};

}  // namespace ml::info
