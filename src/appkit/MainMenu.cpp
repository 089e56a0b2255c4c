#include "appkit/MainMenu.h"

#include <QApplication>
#include <QEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTextEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>

#include <string_view>

#include "appkit/LocalizableMenuItem.h"
#include "appkit/Localization.h"
#include "platform/dispatch/QueueAssert.h"

namespace ml::appkit {

namespace {
constexpr const char* kInstalledProperty = "ml_mainMenuInstalled";
}

MainMenu::MainMenu(std::vector<Menu> menus, QObject* parent) : QObject(parent), menus_(std::move(menus)) {}

const MenuItem* MainMenu::find(const std::string& menuTitle, const std::string& itemTitle) const {
  for (const auto& menu : menus_) {
    if (menu.title != menuTitle) continue;
    for (const auto& item : menu.items) {
      if (!item.separator && item.title == itemTitle) return &item;
    }
  }
  return nullptr;
}

bool MainMenu::setAction(const std::string& menuTitle, const std::string& itemTitle, MenuItem::Action action) {
  ML_ASSERT_MAIN_THREAD();
  auto* item = const_cast<MenuItem*>(find(menuTitle, itemTitle));
  if (!item) return false;
  item->action = std::move(action);
  return true;
}

void MainMenu::trigger(std::size_t menu, std::size_t item) {
  ML_ASSERT_MAIN_THREAD();
  if (menu >= menus_.size() || item >= menus_[menu].items.size()) return;
  // Copied: an action may replace itself through setAction while it runs.
  MenuItem chosen = menus_[menu].items[item];
  if (chosen.action) chosen.action(chosen.identifier);
}

void MainMenu::installOn(QMainWindow& window) {
  ML_ASSERT_MAIN_THREAD();
  if (window.property(kInstalledProperty).toBool()) return;
  window.setProperty(kInstalledProperty, true);
  QMenuBar* bar = window.menuBar();
  // The window's own menus, present before ours; the leading menus go in front of them.
  QAction* firstOwn = bar->actions().isEmpty() ? nullptr : bar->actions().first();
  for (std::size_t m = 0; m < menus_.size(); ++m) {
    const Menu& model = menus_[m];
    auto* menu = new QMenu(localizedText(QString::fromStdString(model.title)), bar);  // owned by the bar
    menu->setObjectName(QString::fromStdString(model.title));
    fill(m, *menu);
    connect(menu, &QMenu::aboutToShow, this, [this, m, menu] {
      if (fillers_.count(menus_[m].title)) fill(m, *menu);
      updateEnabled();
    });
    if (model.placement == Menu::Placement::leading && firstOwn) {
      bar->insertMenu(firstOwn, menu);
    } else {
      bar->addMenu(menu);
    }
  }
}

void MainMenu::setFiller(const std::string& menuTitle, MenuFiller filler) {
  ML_ASSERT_MAIN_THREAD();
  if (filler) {
    fillers_[menuTitle] = std::move(filler);
  } else {
    fillers_.erase(menuTitle);
  }
}

void MainMenu::fill(std::size_t index, QMenu& menu) {
  ML_ASSERT_MAIN_THREAD();
  const Menu& model = menus_[index];
  menu.clear();
  if (auto filler = fillers_.find(model.title); filler != fillers_.end()) {
    // Copied: the filler may replace itself while it runs.
    MenuFiller build = filler->second;
    build(menu);
    return;
  }
  for (std::size_t i = 0; i < model.items.size(); ++i) {
    const MenuItem& itemModel = model.items[i];
    if (itemModel.separator) {
      menu.addSeparator();
      continue;
    }
    auto* item = new LocalizableMenuItem(QString::fromStdString(itemModel.title), &menu);  // owned by the menu
    item->setObjectName(QString::fromStdString(itemModel.identifier));
    if (!itemModel.shortcut.empty()) {
      item->setShortcut(QKeySequence(QString::fromStdString(itemModel.shortcut), QKeySequence::PortableText));
    }
    item->awake();
    connect(item, &QAction::triggered, this, [this, index, i] { trigger(index, i); });
    menu.addAction(item);
    if (itemModel.isEnabled) {
      item->setEnabled(itemModel.isEnabled());
      std::erase_if(built_, [](const BuiltItem& built) { return built.action.isNull(); });
      built_.push_back(BuiltItem{item, index, i});
    }
  }
}

void MainMenu::watch() {
  qApp->installEventFilter(this);
  // Shortcuts of disabled items do nothing, so the items follow the focus, not only the opening
  // of their menu.
  connect(qApp, &QApplication::focusChanged, this, [this] { updateEnabled(); });
}

void MainMenu::updateEnabled() {
  for (const BuiltItem& built : built_) {
    if (!built.action) continue;
    const MenuItem& model = menus_[built.menu].items[built.item];
    if (model.isEnabled) built.action->setEnabled(model.isEnabled());
  }
}

bool MainMenu::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Show) {
    auto* window = qobject_cast<QMainWindow*>(watched);
    if (window && window->isWindow()) installOn(*window);
  }
  return QObject::eventFilter(watched, event);
}

namespace {

// The focus widget, or the nearest widget around it, that has the slot `slot()`.
QWidget* editTarget(const char* slot) {
  const QByteArray signature = QMetaObject::normalizedSignature((QByteArray(slot) + "()").constData());
  for (QWidget* widget = QApplication::focusWidget(); widget; widget = widget->parentWidget()) {
    if (widget->metaObject()->indexOfMethod(signature.constData()) >= 0) return widget;
  }
  return nullptr;
}

}  // namespace

void MainMenu::sendToFocusWidget(const char* slot) {
  ML_ASSERT_MAIN_THREAD();
  if (QWidget* target = editTarget(slot)) QMetaObject::invokeMethod(target, slot);
}

bool MainMenu::canSendToFocusWidget(const char* slot) {
  QWidget* target = editTarget(slot);
  if (!target) return false;
  const std::string_view name(slot);
  if (auto* line = qobject_cast<QLineEdit*>(target)) {
    if (name == "undo") return line->isUndoAvailable();
    if (name == "redo") return line->isRedoAvailable();
    if (name == "cut") return !line->isReadOnly() && line->hasSelectedText();
    if (name == "copy") return line->hasSelectedText();
    if (name == "paste") return !line->isReadOnly();
  }
  if (auto* text = qobject_cast<QTextEdit*>(target)) {
    if (name == "undo") return text->document()->isUndoAvailable();
    if (name == "redo") return text->document()->isRedoAvailable();
    if (name == "cut" || name == "paste") return !text->isReadOnly();
  }
  if (auto* plain = qobject_cast<QPlainTextEdit*>(target)) {
    if (name == "undo") return plain->document()->isUndoAvailable();
    if (name == "redo") return plain->document()->isRedoAvailable();
    if (name == "cut" || name == "paste") return !plain->isReadOnly();
  }
  return true;
}

}  // namespace ml::appkit
