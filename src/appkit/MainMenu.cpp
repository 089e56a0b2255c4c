#include "appkit/MainMenu.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QPointer>
#include <QVariant>
#include <QKeySequence>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTextEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QScreen>

#include <algorithm>

#include <string_view>

#include "appkit/LocalizableMenuItem.h"
#include "appkit/Localization.h"
#include "platform/dispatch/QueueAssert.h"

namespace ml::appkit {

namespace {
constexpr const char* kInstalledProperty = "ml_mainMenuInstalled";
constexpr const char* kMnemonicsProperty = "ml_mnemonicsKept";
constexpr const char* kKeptOnScreenProperty = "ml_keptOnScreen";
// On a window: the widget in it that last had the keyboard focus, menus aside (a QPointer<QWidget>).
constexpr const char* kEditFocusProperty = "ml_editFocus";

// The menu bar and the menus take the keyboard focus while a user walks them from the keyboard;
// they are never what an editing command is meant for.
bool isMenuWidget(const QWidget* widget) {
  return qobject_cast<const QMenuBar*>(widget) || qobject_cast<const QMenu*>(widget);
}

// Windows and dialogs a user works in; menus, popups and tool tips are windows too, but not such.
bool isWorkWindow(const QWidget& window) {
  const Qt::WindowType type = window.windowType();
  return type == Qt::Window || type == Qt::Dialog || type == Qt::Sheet;
}

// Windows without a menu bar that answer the menus' keys. A modal one (an alert, a file panel, a
// sheet) does not: while it runs, the application's menus wait for it, as they would on a shared
// menu bar, so no other window or panel opens over it.
bool takesShortcuts(const QWidget& window) {
  return isWorkWindow(window) && window.windowModality() == Qt::NonModal && !window.testAttribute(Qt::WA_ShowModal);
}

// A window first shown larger than its screen's free area shrinks to it (never below its minimum
// size: a window that cannot shrink scrolls what does not fit) and moves onto it.
void keepOnScreen(QWidget& window) {
  if (window.property(kKeptOnScreenProperty).toBool()) return;
  window.setProperty(kKeptOnScreenProperty, true);
  const QScreen* screen = window.screen();
  if (!screen) return;
  const QRect free = screen->availableGeometry();
  const QSize decoration = window.frameGeometry().size() - window.size();
  const QSize size = window.size().boundedTo(free.size() - decoration).expandedTo(window.minimumSize());
  if (size != window.size()) window.resize(size);
  if (!window.testAttribute(Qt::WA_Moved)) return;  // placed by the window system, which keeps it on screen
  QRect placed(window.pos(), size + decoration);
  placed.moveRight(std::min(placed.right(), free.right()));
  placed.moveBottom(std::min(placed.bottom(), free.bottom()));
  placed.moveLeft(std::max(placed.left(), free.left()));
  placed.moveTop(std::max(placed.top(), free.top()));
  if (placed.topLeft() != window.pos()) window.move(placed.topLeft());
}

// The mnemonic character of `text` (the one after a single '&'), lower-cased; null when none.
QChar mnemonicOf(const QString& text) {
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != u'&') continue;
    if (text[i + 1] == u'&') {
      ++i;  // "&&" is a literal ampersand
      continue;
    }
    return text[i + 1].toLower();
  }
  return {};
}

// Where in `text` a mnemonic for a character not in `used` goes: word starts first, then any
// letter or digit; -1 when every candidate is taken.
qsizetype mnemonicPosition(const QString& text, const QString& used) {
  for (int pass = 0; pass < 2; ++pass) {
    for (qsizetype i = 0; i < text.size(); ++i) {
      const QChar c = text[i];
      if (!c.isLetterOrNumber() || used.contains(c.toLower())) continue;
      const bool wordStart = i == 0 || !text[i - 1].isLetterOrNumber();
      if (pass == 1 || wordStart) return i;
    }
  }
  return -1;
}

}  // namespace

void MainMenu::assignMnemonics(const QList<QAction*>& actions) {
  QString used;
  for (QAction* action : actions) {
    if (QChar taken = mnemonicOf(action->text()); !taken.isNull()) used.append(taken);
  }
  for (QAction* action : actions) {
    if (action->isSeparator() || action->text().isEmpty() || !mnemonicOf(action->text()).isNull()) continue;
    const QString text = action->text();
    const qsizetype at = mnemonicPosition(text, used);
    if (at < 0) continue;
    used.append(text[at].toLower());
    action->setText(text.left(at) + u'&' + text.mid(at));
  }
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
  for (QAction* own : bar->actions()) {
    if (own->menu()) keepMnemonics(*own->menu());
  }
  // The window's other menus too (a tool button's, the context menu), made with the window.
  for (QMenu* own : window.findChildren<QMenu*>()) keepMnemonics(*own);
  for (std::size_t m = 0; m < menus_.size(); ++m) {
    const Menu& model = menus_[m];
    auto* menu = new QMenu(localizedText(QString::fromStdString(model.title)), bar);  // owned by the bar
    menu->setObjectName(QString::fromStdString(model.title));
    fill(m, *menu);
    connect(menu, &QMenu::aboutToShow, this, [this, m, menu] {
      if (fillers_.count(menus_[m].title)) fill(m, *menu);
      updateEnabled();
    });
    keepMnemonics(*menu);
    if (model.placement == Menu::Placement::leading && firstOwn) {
      bar->insertMenu(firstOwn, menu);
    } else {
      bar->addMenu(menu);
    }
  }
  assignMnemonics(bar->actions());
  // F10 opens the first menu, as everywhere on the desktop; arrows and Escape then work as usual.
  auto* openMenus = new QAction(&window);  // owned by the window
  openMenus->setObjectName(QStringLiteral("openMenuBar"));
  openMenus->setShortcut(QKeySequence(Qt::Key_F10));
  openMenus->setShortcutContext(Qt::WindowShortcut);
  connect(openMenus, &QAction::triggered, bar, [bar] {
    for (QAction* title : bar->actions()) {
      if (title->isVisible() && title->isEnabled() && title->menu()) {
        bar->setActiveAction(title);
        return;
      }
    }
  });
  window.addAction(openMenus);
}

void MainMenu::installShortcutsOn(QWidget& window) {
  ML_ASSERT_MAIN_THREAD();
  if (window.property(kInstalledProperty).toBool()) return;
  window.setProperty(kInstalledProperty, true);
  for (std::size_t m = 0; m < menus_.size(); ++m) {
    // A filled menu's items exist only while it is built in a menu bar: no shortcuts to give.
    if (fillers_.count(menus_[m].title)) continue;
    for (std::size_t i = 0; i < menus_[m].items.size(); ++i) {
      const MenuItem& model = menus_[m].items[i];
      if (model.separator || model.shortcut.empty()) continue;
      window.addAction(makeItem(m, i, &window));
    }
  }
}

QAction* MainMenu::makeItem(std::size_t index, std::size_t i, QObject* parent) {
  const MenuItem& itemModel = menus_[index].items[i];
  auto* item = new LocalizableMenuItem(QString::fromStdString(itemModel.title), parent);  // owned by `parent`
  item->setObjectName(QString::fromStdString(itemModel.identifier));
  if (!itemModel.shortcut.empty()) {
    item->setShortcut(QKeySequence(QString::fromStdString(itemModel.shortcut), QKeySequence::PortableText));
  }
  item->awake();
  connect(item, &QAction::triggered, this, [this, index, i] { trigger(index, i); });
  if (itemModel.isEnabled) {
    item->setEnabled(itemModel.isEnabled());
    std::erase_if(built_, [](const BuiltItem& built) { return built.action.isNull(); });
    built_.push_back(BuiltItem{item, index, i});
  }
  return item;
}

void MainMenu::keepMnemonics(QMenu& menu) {
  if (menu.property(kMnemonicsProperty).toBool()) return;
  menu.setProperty(kMnemonicsProperty, true);
  // Connected after the menu's own builders, so the items it shows are the ones that get letters.
  connect(&menu, &QMenu::aboutToShow, this, [this, target = &menu] {
    assignMnemonics(target->actions());
    for (QAction* action : target->actions()) {
      if (action->menu()) keepMnemonics(*action->menu());
    }
  });
  assignMnemonics(menu.actions());
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
    if (model.items[i].separator) {
      menu.addSeparator();
      continue;
    }
    menu.addAction(makeItem(index, i, &menu));
  }
  assignMnemonics(menu.actions());
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
  if (event->type() == QEvent::FocusIn) {
    // A menu bar walked from the keyboard takes the focus while its menus are open (and not
    // always through a focus change the application announces): the window keeps what had it
    // last, for the Edit menu's items to act on.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && !isMenuWidget(widget) && !widget->isWindow()) {
      widget->window()->setProperty(kEditFocusProperty, QVariant::fromValue(QPointer<QWidget>(widget)));
    }
  }
  if (event->type() == QEvent::FocusOut && static_cast<QFocusEvent*>(event)->reason() == Qt::MenuBarFocusReason) {
    // The menus only borrow the focus, as they do when opened with the mouse: a field keeps its
    // selection for the Edit menu to copy (a line edit drops it on any other focus loss).
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && !isMenuWidget(widget)) {
      QFocusEvent borrowed(QEvent::FocusOut, Qt::PopupFocusReason);
      QCoreApplication::sendEvent(widget, &borrowed);
      return true;
    }
  }
  if (event->type() == QEvent::Show) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && widget->isWindow() && isWorkWindow(*widget)) keepOnScreen(*widget);
    if (widget && widget->isWindow()) {
      if (auto* window = qobject_cast<QMainWindow*>(widget)) {
        installOn(*window);
      } else if (takesShortcuts(*widget)) {
        installShortcutsOn(*widget);
      }
    }
  }
  return QObject::eventFilter(watched, event);
}

namespace {

// The widget editing commands go to: the focus widget, or while the menu bar holds the focus
// (walked from the keyboard), the one of its window that had it before.
QWidget* editFocus() {
  QWidget* focus = QApplication::focusWidget();
  if (focus && isMenuWidget(focus)) {
    focus = qvariant_cast<QPointer<QWidget>>(focus->window()->property(kEditFocusProperty)).data();
  }
  // An editable pop-up holds the focus for its text field, which is what edits.
  if (auto* combo = qobject_cast<QComboBox*>(focus); combo && combo->lineEdit()) return combo->lineEdit();
  return focus;
}

// The focus widget, or the nearest widget around it, that has the slot `slot()`.
QWidget* editTarget(const char* slot) {
  const QByteArray signature = QMetaObject::normalizedSignature((QByteArray(slot) + "()").constData());
  for (QWidget* widget = editFocus(); widget; widget = widget->parentWidget()) {
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
