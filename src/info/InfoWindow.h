#pragma once
// The controller of one Info window: the inspector and editor that shows one item at a time out
// of the items it was opened with. It owns the window's store, loads the window when first
// shown, connects the panes to the store, announces itself on the application's global store
// while open, and passes the global store's renames and trashes on to its own store.
//
// Life: made by the file-info command (InfoWindow::make), initialised with the items, shown.
// From its opening until its closing the global state's set of open windows keeps it alive.
// The last reference may go on any thread: the widgets are then deleted on the main queue.
// Everything else runs on the main thread, except process(), which runs on the global store's
// queue and only fires on this window's store.
#include <QPointer>
#include <functional>
#include <memory>

#include "info/state/InfoWindowHost.h"
#include "info/state/InfoWindowState.h"
#include "platform/dispatch/Clock.h"
#include "platform/store/Core.h"
#include "platform/store/Middleware.h"
#include "shell/GlobalState.h"
#include "shell/WindowContext.h"
#include "shell/core/WindowController.h"

namespace ml::info {

class FileInfoWindow;
class FailureReporter;

class InfoWindow final : public shell::InfoWindowController,
                         public store::Middleware<shell::GlobalState>,
                         public InfoWindowHost {
 public:
  // `context` is what the window reaches of the application; `clock` stamps its state's redraws.
  explicit InfoWindow(shell::WindowContext context, dispatch::Clock& clock = dispatch::Clock::system());
  ~InfoWindow() override;
  // A new controller (main thread); the window loads when it is first shown.
  static std::shared_ptr<InfoWindow> make(shell::WindowContext context) { return std::make_shared<InfoWindow>(context); }

  store::Core<InfoWindowState>& core() { return *core_; }

  // shell::InfoWindowController
  void initialize(const std::vector<files::Path>& items) override;
  void show() override;
  const void* windowIdentity() const override;

  // The global store's events: renames and trashes are passed on to this window's store.
  void process(const store::Event& event, const shell::GlobalState& state) override;

  // InfoWindowHost
  std::weak_ptr<store::Core<InfoWindowState>> store() const override { return core_; }
  std::shared_ptr<shell::WindowController> makeDateAdjuster(TimestampType type, files::Date date,
                                                            DateCallback callback) override;
  std::shared_ptr<shell::WindowController> makeDatePicker(EditableField field, files::Date date,
                                                          DateCallback callback) override;
  void beginSheet(const std::shared_ptr<shell::WindowController>& sheet, std::function<void()> ended) override;
  store::Core<shell::GlobalState>* globalStore() const override { return context_.global; }
  std::shared_ptr<appkit::OpenPanels> openPanels() const override { return context_.openPanels(); }
  void announce(std::shared_ptr<const store::Event> event) override { context_.announce(std::move(event)); }

  // The loaded window, or null before the first show() and after it has gone.
  FileInfoWindow* window() const;

 private:
  void windowDidLoad();
  void windowWillClose();

  shell::WindowContext context_;
  std::shared_ptr<store::Core<InfoWindowState>> core_;
  std::function<void()> globalObserverRelease_;
  QPointer<FileInfoWindow> window_;
};

}  // namespace ml::info
