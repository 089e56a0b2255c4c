#include "info/InfoWindowToolbarController.h"

#include <QToolButton>

#include "appkit/LocalizableMenuItem.h"
#include "appkit/LocalizableToolBarItem.h"
#include "files/FileSystem.h"
#include "files/Files.h"
#include "files/HfsResourceFork.h"
#include "info/CopyAttribute.h"
#include "platform/dispatch/QueueAssert.h"
#include "shell/GlobalCommands.h"

namespace ml::info {

namespace {

using Commands = shell::GlobalCommands<InfoWindowState>;

constexpr int kListShownItem = 0;
constexpr int kListFolderContents = 1;
constexpr int kListAllItems = 2;

const char* const kCopyableTitles[] = {"Kind",         "Short Version", "Long Version",  "Size",     "Fork Sizes",
                                       "Created Date", "Modified Date", "Accessed Date", "Backup Date", "File Type",
                                       "Creator",      "Path",          "HFS Path",      "Parent",   "HFS Parent"};

int tagOf(const QObject* item) { return item ? item->property("tag").toInt() : -1; }

appkit::LocalizableMenuItem* addMenuItem(QMenu& menu, const char* title, int tag) {
  auto* item = new appkit::LocalizableMenuItem(QString::fromUtf8(title), &menu);
  item->setProperty("tag", tag);
  menu.addAction(item);
  return item;
}

}  // namespace

InfoWindowToolbarController::InfoWindowToolbarController(QToolBar& toolbar, QObject* parent)
    : QObject(parent), copyAttributeMenu_(std::make_unique<QMenu>()), listMenu_(std::make_unique<QMenu>()) {
  auto addVerb = [&](const char* label, const char* icon, const char* toolTip, void (InfoWindowToolbarController::*slot)()) {
    auto* item = new appkit::LocalizableToolBarItem(&toolbar);
    item->setIconText(QString::fromUtf8(label));
    item->setText(QString::fromUtf8(label));
    item->setToolTip(QString::fromUtf8(toolTip));
    item->setIcon(QIcon::fromTheme(QString::fromUtf8(icon)));
    item->awake();
    toolbar.addAction(item);
    connect(item, &QAction::triggered, this, slot);
    return item;
  };
  addVerb("Reveal", "system-file-manager", "Show the item in the file manager",
          &InfoWindowToolbarController::revealItemInFinder);
  addVerb("Open", "document-open", "Open the item", &InfoWindowToolbarController::openFile);
  addVerb("Properties", "document-properties", "Show the file manager's properties of the item",
          &InfoWindowToolbarController::showFinderInfo);
  toolbar.addSeparator();
  addVerb("Copy", "edit-copy", "Copy the item to a folder", &InfoWindowToolbarController::copyFile);
  addVerb("Move", "go-jump", "Move the item to a folder", &InfoWindowToolbarController::moveFile);
  addVerb("Trash", "user-trash", "Move the item to the Trash", &InfoWindowToolbarController::recycleItem);
  addVerb("Rename", "edit-rename", "Rename the window's items", &InfoWindowToolbarController::renameItems);
  toolbar.addSeparator();

  for (auto [title, tag] : {std::pair{"This Item", kListShownItem}, std::pair{"Contents of This Folder", kListFolderContents},
                            std::pair{"All Items of This Window", kListAllItems}}) {
    connect(addMenuItem(*listMenu_, title, tag), &QAction::triggered, this,
            &InfoWindowToolbarController::openFilesInListView);
  }
  connect(listMenu_.get(), &QMenu::aboutToShow, this, &InfoWindowToolbarController::updateListMenu);
  for (int tag = 0; tag < 15; ++tag) {
    connect(addMenuItem(*copyAttributeMenu_, kCopyableTitles[tag], tag), &QAction::triggered, this,
            &InfoWindowToolbarController::copyAttribute);
  }
  auto addMenuButton = [&](const char* label, const char* icon, QMenu& menu) {
    auto* button = new QToolButton(&toolbar);
    button->setText(QString::fromUtf8(label));
    button->setIcon(QIcon::fromTheme(QString::fromUtf8(icon)));
    button->setToolButtonStyle(toolbar.toolButtonStyle());
    button->setPopupMode(QToolButton::InstantPopup);
    button->setMenu(&menu);
    toolbar.addWidget(button);
  };
  addMenuButton("New List", "view-list-details", *listMenu_);
  addMenuButton("Copy Attribute", "edit-paste", *copyAttributeMenu_);
}

InfoWindowToolbarController::~InfoWindowToolbarController() = default;

QAction* InfoWindowToolbarController::itemWithTag(QMenu& menu, int tag) {
  for (QAction* item : menu.actions()) {
    if (!item->isSeparator() && tagOf(item) == tag) return item;
  }
  return nullptr;
}

void InfoWindowToolbarController::update(const InfoWindowState& state) {
  ML_ASSERT_MAIN_THREAD();
  const auto item = state.displayedPath();
  if (!item) return;
  auto enable = [this](std::initializer_list<int> tags, bool on) {
    for (int tag : tags) {
      if (QAction* entry = itemWithTag(*copyAttributeMenu_, tag)) entry->setEnabled(on);
    }
  };
  const auto& fs = item->fileSystem();
  if (fs.isDirectory(*item)) {
    enable({1, 2, 4, 8, 9, 10}, false);
    return;
  }
  enable({4, 9, 10}, true);
  auto finder = fs.finderAttributes(*item);
  auto fork = finder ? files::resourceFork(finder) : std::nullopt;
  enable({1, 2}, fork && !fork->resources("vers").empty());
  enable({8}, finder && finder->lastBackupDate());
}

void InfoWindowToolbarController::updateListMenu() {
  ML_ASSERT_MAIN_THREAD();
  auto core = reactor();
  if (!core) return;
  const InfoWindowState state = core->state();
  const auto item = state.displayedPath();
  if (QAction* contents = itemWithTag(*listMenu_, kListFolderContents)) {
    contents->setEnabled(item && files::Files::type(*item) == files::FileType::directory);
  }
  if (QAction* shown = itemWithTag(*listMenu_, kListShownItem)) shown->setEnabled(item.has_value());
  if (QAction* all = itemWithTag(*listMenu_, kListAllItems)) all->setEnabled(state.paths.size() > 1);
}

void InfoWindowToolbarController::revealItemInFinder() { fire(Commands::reveal()); }
void InfoWindowToolbarController::openFile() { fire(Commands::open()); }
void InfoWindowToolbarController::showFinderInfo() { fire(Commands::finderInfo()); }
void InfoWindowToolbarController::copyFile() { fire(Commands::copy()); }
void InfoWindowToolbarController::recycleItem() { fire(Commands::trash()); }
void InfoWindowToolbarController::moveFile() { fire(Commands::move()); }

void InfoWindowToolbarController::renameItems() {
  ML_ASSERT_MAIN_THREAD();
  auto core = reactor();
  if (!core) return;
  fire(Commands::rename(core->state().paths, window_.lock()));
}

void InfoWindowToolbarController::openFilesInListView() {
  ML_ASSERT_MAIN_THREAD();
  auto core = reactor();
  if (!core) return;
  switch (tagOf(sender())) {
    case kListShownItem:
      fire(Commands::list());
      break;
    case kListFolderContents: {
      // The folder's contents, read now; a non-folder or an unreadable one lists the item itself.
      const InfoWindowState state = core->state();
      const auto item = state.displayedPath();
      std::optional<std::vector<files::Path>> contents;
      if (item && item->fileSystem().isDirectory(*item)) contents = item->fileSystem().contentsOf(*item);
      fire(Commands::list(contents));
      break;
    }
    case kListAllItems:
      fire(Commands::list(core->state().paths));
      break;
    default:
      break;
  }
}

void InfoWindowToolbarController::copyAttribute() {
  ML_ASSERT_MAIN_THREAD();
  if (auto attribute = copyableAttribute(tagOf(sender()))) fire(std::make_shared<CopyAttribute>(*attribute));
}

}  // namespace ml::info
