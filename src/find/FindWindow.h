#pragma once
// The controller of one find window: makes the window's store, wires the criterion rows to it,
// turns the buttons and popups into events and the search command, shows a progress sheet while a
// search runs (ending the search once a chosen number of results has arrived), and announces the
// window on the global store while it is open.
//
// Life: made by the show-search command (FindWindow::make), shown; from its loading until its
// closing the global state's set of open windows keeps it alive. Closing cancels a running search
// without showing its results and leaves nothing of the window registered on the global store.
// The last reference may go on any thread: the widgets are then deleted on the main queue.
// Everything else runs on the main thread.
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "find/FindWindowState.h"
#include "find/search/VolumeSearch.h"
#include "platform/store/Core.h"
#include "platform/store/Subscriber.h"
#include "shell/WindowContext.h"
#include "shell/core/WindowController.h"

namespace ml::find {

class FindWindowView;
class NameRow;
class ExtensionRow;
class PackageAndVisibilityRow;
class ItemTypeRow;
class WindowEventWatcher;

class FindWindow final : public shell::ShowableWindow, public store::Subscriber<FindWindowState> {
 public:
  // `context` is what the window reaches of the application (its results go there).
  explicit FindWindow(shell::WindowContext context);
  ~FindWindow() override;
  static std::shared_ptr<FindWindow> make(shell::WindowContext context) { return std::make_shared<FindWindow>(context); }

  // Searches run with these settings (tests pass a manual clock).
  void setSearchSettings(SearchSettings settings) { searchSettings_ = settings; }

  void show() override;
  const void* windowIdentity() const override;
  void update(const FindWindowState& state) override;

  // Actions of the window's controls.
  void doSearching();
  void showResults();
  void cancelSearch();
  void onSearchLocationChanged(int segment);
  void changeDestination(int tag);
  void resultSetSizeUpdated(int tag);

  std::shared_ptr<store::Core<FindWindowState>> core() const { return core_; }
  FindWindowView* window() const;
  NameRow* nameRow() const { return nameRow_.get(); }
  ExtensionRow* extensionRow() const { return extensionRow_.get(); }
  PackageAndVisibilityRow* packageRow() const { return packageRow_.get(); }
  ItemTypeRow* itemTypeRow() const { return itemTypeRow_.get(); }
  bool progressShowing() const { return progressShowing_; }
  // The subscriber that follows the global store for the result popup (null before loading).
  std::weak_ptr<WindowEventWatcher> watcher() const { return watcher_; }

 private:
  void windowDidLoad();
  void windowWillClose();
  void endSheet();
  // Checks the location segment of `location`, the place a search will search.
  void showLocation(const SearchLocation& location);

  shell::WindowContext context_;
  std::shared_ptr<store::Core<FindWindowState>> core_;
  std::vector<std::function<void()>> middlewareDisconnects_;
  QPointer<FindWindowView> window_;
  std::shared_ptr<NameRow> nameRow_;
  std::shared_ptr<ExtensionRow> extensionRow_;
  std::shared_ptr<PackageAndVisibilityRow> packageRow_;
  std::shared_ptr<ItemTypeRow> itemTypeRow_;
  std::shared_ptr<WindowEventWatcher> watcher_;
  std::function<void()> watcherDisconnect_;  // unsubscribes the watcher from the global store
  SearchSettings searchSettings_;
  bool progressShowing_ = false;
  bool closed_ = false;
  std::string searchedPlace_;        // the visible name of the place the last search searched
  unsigned emptySearchesTold_ = 0;  // the state's emptySearches the window has spoken of
};

}  // namespace ml::find
