#pragma once
// The small window that holds the main menu while no other window is open, so the application is
// never invisible. It also takes files dropped on it, as the application's icon would, and offers
// the three most common commands as buttons.
//
// Shown and hidden by WindowPresence; closing it while it is the only window quits the
// application. Thread affinity: main thread.
#include <QMainWindow>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace Ui {
class LauncherWindow;
}

namespace ml::appkit {

struct LauncherActions {
  std::function<void()> showInfo;
  std::function<void()> newList;
  std::function<void()> find;
  // Files dropped on the window, in the drop's order.
  std::function<void(std::vector<std::filesystem::path>)> filesDropped;
};

class LauncherWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit LauncherWindow(LauncherActions actions, QWidget* parent = nullptr);
  ~LauncherWindow() override;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  std::unique_ptr<Ui::LauncherWindow> ui_;
  LauncherActions actions_;
};

}  // namespace ml::appkit
