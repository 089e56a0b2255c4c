#include "list/menu/ListMenu.h"

#include <QApplication>
#include <QMenu>
#include <QStyle>

#include "appkit/Localization.h"
#include "appkit/QtTypeDescriber.h"
#include "list/commands/AddCommands.h"
#include "list/commands/RemoveSelectedItems.h"
#include "list/window/ListWindow.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/logging/Log.h"
#include "shell/GlobalState.h"
#include "shell/GlobalCommands.h"
#include "shell/MenuCommand.h"

namespace ml::list {

namespace {

constexpr int kMenuIconSize = 16;

QIcon iconOf(const MenuImage& image) {
  QStyle* style = QApplication::style();
  QIcon icon;
  switch (image.kind) {
    case MenuImage::Kind::none: return {};
    case MenuImage::Kind::themeIcon:
      icon = QIcon::fromTheme(QString::fromStdString(image.themeName), style->standardIcon(QStyle::SP_DriveHDIcon));
      break;
    case MenuImage::Kind::itemIcon: icon = appkit::iconFor(image.icon); break;
    case MenuImage::Kind::folder: icon = QIcon::fromTheme("folder", style->standardIcon(QStyle::SP_DirIcon)); break;
    case MenuImage::Kind::trashFull:
      icon = QIcon::fromTheme("user-trash-full", style->standardIcon(QStyle::SP_TrashIcon));
      break;
  }
  return QIcon(icon.pixmap(kMenuIconSize, kMenuIconSize));
}

void addEntries(QMenu& menu, GlobalStore& global, const std::vector<QuickAccessEntry>& entries) {
  for (const auto& entry : entries) {
    if (entry.separator) {
      menu.addSeparator();
      continue;
    }
    auto* action = menu.addAction(iconOf(entry.image), QString::fromStdString(entry.title));
    if (!entry.submenu.empty()) {
      // The folder entry with a submenu opens the submenu; its own items list the folder.
      auto* submenu = new QMenu(&menu);  // owned by the menu
      submenu->setObjectName(QString::fromLatin1(kFleetlookIdentifier));
      auto* whole = submenu->addAction(iconOf(entry.image), QString::fromStdString(entry.title));
      QObject::connect(whole, &QAction::triggered, &menu,
                       [&global, target = *entry.target] { ListMenu::fleetlookItemSelected(global, target); });
      submenu->addSeparator();
      addEntries(*submenu, global, entry.submenu);
      action->setMenu(submenu);
      continue;
    }
    if (entry.target) {
      QObject::connect(action, &QAction::triggered, &menu,
                       [&global, target = *entry.target] { ListMenu::fleetlookItemSelected(global, target); });
    }
  }
}

void dropChildMenus(QMenu& menu) {
  for (QMenu* child : menu.findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) child->deleteLater();
}

}  // namespace

std::shared_ptr<ListWindow> ListMenu::listWindowShowing(const GlobalStore& global, const QWidget* window) {
  ML_ASSERT_MAIN_THREAD();
  if (!window) return nullptr;
  for (const auto& controller : global.state().activeWindows) {
    if (controller->windowIdentity() != static_cast<const void*>(window)) continue;
    if (auto list = std::dynamic_pointer_cast<ListWindow>(controller)) return list;
  }
  return nullptr;
}

void ListMenu::newListWindow(GlobalStore& global) { global.fire(shell::GlobalCommands<shell::GlobalState>::list()); }

void ListMenu::addToFrontWindow(GlobalStore& global, QWidget* window) {
  ML_ASSERT_MAIN_THREAD();
  if (auto list = listWindowShowing(global, window)) list->core().fire(std::make_shared<SelectItemsToAdd>());
}

void ListMenu::removeFromFrontWindow(GlobalStore& global, QWidget* window) {
  ML_ASSERT_MAIN_THREAD();
  if (auto list = listWindowShowing(global, window)) list->core().fire(std::make_shared<RemoveSelectedItems>(false));
}

void ListMenu::fleetlookItemSelected(GlobalStore& global, const QuickAccessTarget& target) {
  global.fire(shell::MenuCommand::list(itemsOf(target)));
}

void ListMenu::fill(QMenu& menu, GlobalStore& global, const std::function<QWidget*()>& keyWindow) {
  ML_ASSERT_MAIN_THREAD();
  dropChildMenus(menu);
  auto add = [&menu](const char* title, std::function<void()> run) {
    auto* action = menu.addAction(appkit::localizedText(QString::fromUtf8(title)));
    QObject::connect(action, &QAction::triggered, &menu, std::move(run));
    return action;
  };
  add("New List", [&global] { newListWindow(global); });
  add(kOpenListTitle, [] {});
  auto* fleetlook = new QMenu(appkit::localizedText(QStringLiteral("Fleetlook")), &menu);  // owned by the menu
  fleetlook->setObjectName(QString::fromLatin1(kFleetlookIdentifier));
  QObject::connect(fleetlook, &QMenu::aboutToShow, fleetlook,
                   [fleetlook, &global] { fillFleetlook(*fleetlook, global, QuickAccessSources::system()); });
  menu.addMenu(fleetlook);
  menu.addSeparator();
  add("Add to Front List\u2026", [&global, keyWindow] { addToFrontWindow(global, keyWindow ? keyWindow() : nullptr); });
  add("Remove from Front List", [&global, keyWindow] { removeFromFrontWindow(global, keyWindow ? keyWindow() : nullptr); });

  const bool listInFront = listWindowShowing(global, keyWindow ? keyWindow() : nullptr) != nullptr;
  const QList<QAction*> actions = menu.actions();
  for (int position = 0; position < actions.size(); ++position) {
    QAction* action = actions[position];
    if (action->isSeparator()) continue;
    ListMenuItemFacts facts{true, action->text().toStdString(), menu.objectName() == kFleetlookIdentifier ? kFleetlookIdentifier : "",
                            position};
    action->setEnabled(isListMenuItemEnabled(facts, listInFront));
  }
}

void ListMenu::fillFleetlook(QMenu& menu, GlobalStore& global, const QuickAccessSources& sources) {
  ML_ASSERT_MAIN_THREAD();
  menu.clear();
  dropChildMenus(menu);
  addEntries(menu, global, buildQuickAccessMenu(sources));
}

appkit::MainMenu::MenuFiller listMenuFiller(GlobalStore& global) {
  return [&global](QMenu& menu) { ListMenu::fill(menu, global, [] { return QApplication::activeWindow(); }); };
}

}  // namespace ml::list
