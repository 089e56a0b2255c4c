#pragma once
// The Info window's widgets, loaded from its interface file: the toolbar, the basic, Finder,
// flags and permissions panes and the button bar. It renders nothing itself; the controller
// (InfoWindow) connects the panes to the window's store. Main thread.
#include <QMainWindow>
#include <functional>
#include <memory>

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

  // Called once when the window closes, whoever closes it.
  void setWillClose(std::function<void()> willClose) { willClose_ = std::move(willClose); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::unique_ptr<Ui::FileInfoWindow> ui_;
  InfoWindowToolbarController* toolbar_;  // a child QObject
  std::function<void()> willClose_;
};

}  // namespace ml::info
