#include "find/FindWindow.h"

#include <QButtonGroup>
#include <QComboBox>

#include <cstdlib>
#include <filesystem>

#include "files/FileSystem.h"
#include "files/VisibleName.h"
#include "find/ExecuteSearch.h"
#include "find/FindWindowEvents.h"
#include "find/FindWindowView.h"
#include "find/WindowEventWatcher.h"
#include "find/rows/ExtensionRow.h"
#include "find/rows/ItemTypeRow.h"
#include "find/rows/NameRow.h"
#include "find/rows/PackageAndVisibilityRow.h"
#include "platform/darwin/Volumes.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/foundation/Preferences.h"
#include "platform/logging/Log.h"
#include "shell/core/ApplicationEvents.h"

namespace ml::find {
namespace {

// Passes the store's states to the window while it exists, so the store (owned by the window)
// does not keep the window alive.
class WeakWindowSubscriber final : public store::Subscriber<FindWindowState> {
 public:
  explicit WeakWindowSubscriber(std::weak_ptr<FindWindow> window) : window_(std::move(window)) {}
  void update(const FindWindowState& state) override {
    if (auto window = window_.lock()) window->update(state);
  }

 private:
  std::weak_ptr<FindWindow> window_;
};

std::string homeFolderName() {
  auto folder = ExecuteSearch::startFolder(SearchLocation::home());
  if (!folder) return {};
  auto name = folder->url().filename().string();
  return name.empty() ? folder->description() : name;
}

foundation::Preferences& preferences(const shell::WindowContext& context) {
  if (context.services && context.services->preferences) return *context.services->preferences;
  return foundation::Preferences::standard();
}

}  // namespace

FindWindow::FindWindow(shell::WindowContext context) : context_(context) {}

// May run on any thread: the widgets go on the main queue.
FindWindow::~FindWindow() {
  for (auto& disconnect : middlewareDisconnects_) disconnect();
  if (watcherDisconnect_) watcherDisconnect_();
  dispatch::MainQueue::shared().async([window = window_] { delete window.data(); });
}

const void* FindWindow::windowIdentity() const { return window_.data(); }
FindWindowView* FindWindow::window() const { return window_.data(); }

void FindWindow::show() {
  ML_ASSERT_MAIN_THREAD();
  if (!window_) {
    window_ = new FindWindowView();
    std::weak_ptr<FindWindow> weak = std::static_pointer_cast<FindWindow>(shared_from_this());
    window_->setWillClose([weak] {
      if (auto self = weak.lock()) self->windowWillClose();
    });
    windowDidLoad();
  }
  window_->show();
  window_->raise();
  window_->activateWindow();
}

void FindWindow::windowDidLoad() {
  ML_ASSERT_MAIN_THREAD();
  auto self = std::static_pointer_cast<FindWindow>(shared_from_this());
  std::weak_ptr<FindWindow> weak = self;
  if (auto* global = context_.global) {
    global->fire(shell::ApplicationEvents::WindowOpened(self));
    watcher_ = std::make_shared<WindowEventWatcher>(window_->resultActionPopup());
    watcherDisconnect_ = global->add(std::shared_ptr<store::Subscriber<shell::GlobalState>>(watcher_));
  } else {
    LOG_ERROR("find window opened without an application delegate");
  }

  if (auto name = darwin::volumeName("/")) {
    window_->locationSegment(1)->setText(QString::fromStdString(files::visibleName(*name)));
  }
  window_->locationSegment(2)->setText(QString::fromStdString(files::visibleName(homeFolderName())));

  nameRow_ = NameRow::make(window_->nameRowContainer(), preferences(context_));
  extensionRow_ = ExtensionRow::make(window_->extensionRowContainer());
  packageRow_ = PackageAndVisibilityRow::make(window_->packageRowContainer());
  itemTypeRow_ = ItemTypeRow::make(window_->itemTypeRowContainer());

  FindWindowState initial;
  initial.context = context_;
  core_ = std::make_shared<store::Core<FindWindowState>>(initial);
  // Both middleware rows hold the store, so each is detached at close to end that cycle.
  middlewareDisconnects_.push_back(core_->add(std::shared_ptr<store::Middleware<FindWindowState>>(nameRow_)));
  nameRow_->setReactor(core_);
  extensionRow_->setReactor(core_);
  packageRow_->setReactor(core_);
  itemTypeRow_->setReactor(core_);
  core_->add(std::make_shared<WeakWindowSubscriber>(weak));
  middlewareDisconnects_.push_back(core_->add(std::shared_ptr<store::Middleware<FindWindowState>>(itemTypeRow_)));

  QObject::connect(window_->searchButton(), &QPushButton::clicked, window_, [weak] {
    if (auto s = weak.lock()) s->doSearching();
  });
  QObject::connect(window_->showResultsButton(), &QPushButton::clicked, window_, [weak] {
    if (auto s = weak.lock()) s->showResults();
  });
  QObject::connect(window_->cancelSearchButton(), &QPushButton::clicked, window_, [weak] {
    if (auto s = weak.lock()) s->cancelSearch();
  });
  QObject::connect(window_->searchLocationSegmentedButton(), &QButtonGroup::idClicked, window_, [weak](int id) {
    if (auto s = weak.lock()) s->onSearchLocationChanged(id);
  });
  QComboBox* results = window_->resultActionPopup();
  QObject::connect(results, &QComboBox::activated, window_, [weak, results](int index) {
    if (auto s = weak.lock()) s->changeDestination(results->itemData(index).toInt());
  });
  QComboBox* cut = window_->resultSizePopup();
  QObject::connect(cut, &QComboBox::activated, window_, [weak, cut](int index) {
    if (auto s = weak.lock()) s->resultSetSizeUpdated(cut->itemData(index).toInt());
  });
  QObject::connect(window_->progressSheetWindow(), &QDialog::finished, window_, [weak](int) {
    if (auto s = weak.lock()) s->progressShowing_ = false;
  });

  core_->fire(shell::WindowEvents::Loaded{});
}

void FindWindow::showLocation(const SearchLocation& location) {
  ML_ASSERT_MAIN_THREAD();
  if (!window_) return;
  int segment = 3;
  switch (location.kind) {
    case SearchLocation::Kind::local: segment = 0; break;
    case SearchLocation::Kind::root: segment = 1; break;
    case SearchLocation::Kind::home: segment = 2; break;
    case SearchLocation::Kind::other: segment = 3; break;
  }
  if (auto* button = window_->locationSegment(segment)) button->setChecked(true);
}

void FindWindow::update(const FindWindowState& state) {
  ML_ASSERT_MAIN_THREAD();
  if (!window_ || closed_) return;
  showLocation(state.location);
  // A place that cannot be searched never gets a Search button that does nothing.
  const bool searchable = ExecuteSearch::startFolder(state.location).has_value();
  window_->searchButton()->setEnabled(searchable);
  window_->searchButton()->setToolTip(searchable ? QString() : FindWindowView::unsearchableLocationTip());
  if (state.currentSearch) {
    if (!progressShowing_) {
      std::string location;
      switch (state.location.kind) {
        case SearchLocation::Kind::root: location = files::FileSystems::defaultFileSystem()->rootPath().volume(); break;
        case SearchLocation::Kind::home: location = homeFolderName(); break;
        default: location = "somewhere"; break;
      }
      searchedPlace_ = files::visibleName(location);
      window_->progressSearchLocation()->setText(QString::fromStdString("Searching \"" + searchedPlace_ + "\""));
      window_->searchOutcomeLabel()->hide();
      progressShowing_ = true;
      window_->progressSheetWindow()->open();
    }
    const size_t found = state.currentSearch->count();
    window_->progressItemsFoundLabel()->setText(QString("Found: %1").arg(found));
    if (state.maxResults && *state.maxResults > 0 && found >= static_cast<size_t>(*state.maxResults)) {
      core_->fire(SearchTerminated(true));
      endSheet();
    }
  } else {
    window_->progressSheetWindow()->hide();
    progressShowing_ = false;
  }
  if (state.emptySearches != emptySearchesTold_) {
    // A search that shows nothing opens nothing: the window says why, until the next search.
    emptySearchesTold_ = state.emptySearches;
    window_->searchOutcomeLabel()->setText(
        QString::fromStdString("No items matching the criteria were found in \"" + searchedPlace_ + "\"."));
    window_->searchOutcomeLabel()->show();
  }
}

void FindWindow::endSheet() {
  ML_ASSERT_MAIN_THREAD();
  if (window_) window_->progressSheetWindow()->done(QDialog::Accepted);
  progressShowing_ = false;
}

void FindWindow::doSearching() {
  ML_ASSERT_MAIN_THREAD();
  if (!core_) return;
  // Text still waiting for typing to settle reaches the store first: the store handles events
  // and commands in firing order, so the search sees it.
  if (nameRow_) nameRow_->applyPendingText();
  if (extensionRow_) extensionRow_->applyPendingText();
  core_->fire(ExecuteSearch(core_, searchSettings_));
}

void FindWindow::showResults() {
  ML_ASSERT_MAIN_THREAD();
  if (core_) core_->fire(SearchTerminated(true));
  endSheet();
}

void FindWindow::cancelSearch() {
  ML_ASSERT_MAIN_THREAD();
  if (core_) core_->fire(SearchTerminated(false));
  endSheet();
}

void FindWindow::onSearchLocationChanged(int segment) {
  ML_ASSERT_MAIN_THREAD();
  if (!core_) return;
  switch (segment) {
    case 0: core_->fire(SearchLocationUpdated(SearchLocation::local())); break;
    case 1: core_->fire(SearchLocationUpdated(SearchLocation::root())); break;
    case 2: core_->fire(SearchLocationUpdated(SearchLocation::home())); break;
    default:
      // "Other…" has nothing to search yet: the segments go back to the place a search would
      // search, which has not changed.
      showLocation(core_->state().location);
      break;
  }
}

void FindWindow::changeDestination(int tag) {
  ML_ASSERT_MAIN_THREAD();
  if (!core_) return;
  if (auto action = resultActionFromTag(tag)) core_->fire(ResultActionUpdated(*action));
}

void FindWindow::resultSetSizeUpdated(int tag) {
  ML_ASSERT_MAIN_THREAD();
  if (!core_) return;
  core_->fire(MaxResultsUpdated(tag == 0 ? std::nullopt : std::optional<int>(tag)));
}

void FindWindow::windowWillClose() {
  ML_ASSERT_MAIN_THREAD();
  if (closed_) return;
  closed_ = true;
  // A search of a closed window would only open a list nobody asked for any more.
  if (core_) core_->fire(SearchTerminated(false));
  auto self = shared_from_this();
  context_.announce(std::make_shared<const shell::ApplicationEvents::WindowClosed>(self));
  for (auto& disconnect : middlewareDisconnects_) disconnect();
  middlewareDisconnects_.clear();
  // The global store outlives every window: a closed window leaves nothing subscribed there.
  if (watcherDisconnect_) watcherDisconnect_();
  watcherDisconnect_ = nullptr;
}

}  // namespace ml::find
