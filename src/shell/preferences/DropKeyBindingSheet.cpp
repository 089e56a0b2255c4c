#include "shell/preferences/DropKeyBindingSheet.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <algorithm>
#include <chrono>

#include "appkit/HeldKeys.h"
#include "appkit/LocalizableControls.h"
#include "appkit/Localization.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/logging/Log.h"
#include "shell/preferences/DropKeyFormatter.h"
#include "ui_DropKeyBindingSheet.h"

namespace ml::shell {

namespace {

constexpr auto kModifierSettleTime = std::chrono::milliseconds(50);
constexpr Qt::KeyboardModifiers kModifierKeys =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

// The modifier a key stands for, or none for keys that are not modifiers of ours. Caps Lock,
// Num Lock and the group switch change no modifier of a binding but still count as flag changes.
std::optional<Qt::KeyboardModifier> modifierOfKey(int key) {
  switch (key) {
    case Qt::Key_Shift: return Qt::ShiftModifier;
    case Qt::Key_Control: return Qt::ControlModifier;
    case Qt::Key_Alt: return Qt::AltModifier;
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R: return Qt::MetaModifier;
    default: return std::nullopt;
  }
}

bool isModifierKey(int key) {
  return modifierOfKey(key) || key == Qt::Key_CapsLock || key == Qt::Key_NumLock || key == Qt::Key_AltGr ||
         key == Qt::Key_Mode_switch;
}

// Tab and Esc keep their usual meaning while the sheet records.
bool passesThrough(const QKeyEvent& event) {
  int key = event.key();
  if (key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Escape) return true;
  QString text = event.text();
  return text.contains(QChar(0x09)) || text.contains(QChar(0x1B));
}

// The modifiers after a modifier key's press or release. Depending on the platform the event
// reports the state before or after the key; the key itself settles it.
Qt::KeyboardModifiers flagsAfter(const QKeyEvent& event) {
  Qt::KeyboardModifiers flags = event.modifiers();
  if (auto own = modifierOfKey(event.key())) {
    if (event.type() == QEvent::KeyPress) {
      flags |= *own;
    } else {
      flags &= ~Qt::KeyboardModifiers(*own);
    }
  }
  return flags;
}

// The toolkit's name of the key, upper-cased: the stand-in where no keyboard map can be read. Qt
// names printable keys by the character typed (with Shift applied), in upper case; keys that type
// none (Return, arrows, function keys) give nothing.
QString toolkitCharacter(const QKeyEvent& event) {
  int key = event.key();
  if (key < 0x20 || key >= 0x01000000 || key == 0x7F) return {};
  return QString::fromUcs4(reinterpret_cast<const char32_t*>(&key), 1).toUpper();
}

bool isKept(const QString& character) {
  if (character == QStringLiteral(" ")) return true;
  if (character.isEmpty()) return false;
  for (char32_t scalar : character.toUcs4()) {
    if (!QChar::isLetterOrNumber(scalar) && !QChar::isMark(scalar)) return false;
  }
  return true;
}

ModifierKeys modifierKeysOf(Qt::KeyboardModifiers flags) {
  appkit::PlatformModifiers platform;
  platform.control = flags.testFlag(Qt::ControlModifier);
  platform.alt = flags.testFlag(Qt::AltModifier);
  platform.meta = flags.testFlag(Qt::MetaModifier);
  platform.shift = flags.testFlag(Qt::ShiftModifier);
  return ModifierKeys::fromPlatform(platform);
}

}  // namespace

DropKeyBindingSheet::DropKeyBindingSheet(QWidget* parent, dispatch::Clock& clock, dispatch::Queue& queue)
    : QDialog(parent), ui_(std::make_unique<Ui::DropKeyBindingSheet>()), modifierDebouncer_(kModifierSettleTime, clock, queue) {
  ML_ASSERT_MAIN_THREAD();
  ui_->setupUi(this);
  appkit::awakeLocalizableControls(*this);
  combination_ = ui_->combination;
  for (QPushButton* button : {ui_->cancelButton, ui_->saveButton}) button->setText(appkit::localizedText(button->text()));
  setWindowTitle(appkit::localizedText(windowTitle()));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowModality(Qt::WindowModal);
  ui_->actionName->hide();
  ui_->refusal->hide();
  connect(ui_->saveButton, &QPushButton::clicked, this, [this] { save(); });
  connect(ui_->cancelButton, &QPushButton::clicked, this, [this] { cancel(); });
}

DropKeyBindingSheet::~DropKeyBindingSheet() { removeMonitors(); }

void DropKeyBindingSheet::setActionName(const QString& name) {
  ML_ASSERT_MAIN_THREAD();
  ui_->actionName->setText(name);
  ui_->actionName->setVisible(!name.isEmpty());
}

void DropKeyBindingSheet::beginSheet() {
  ML_ASSERT_MAIN_THREAD();
  installMonitors();
  open();
  activateWindow();
}

void DropKeyBindingSheet::installMonitors() {
  ML_ASSERT_MAIN_THREAD();
  if (monitoring_) return;
  qApp->installEventFilter(this);
  monitoring_ = true;
}

void DropKeyBindingSheet::removeMonitors() {
  if (!monitoring_) return;
  if (qApp) qApp->removeEventFilter(this);
  monitoring_ = false;
}

void DropKeyBindingSheet::done(int result) {
  ML_ASSERT_MAIN_THREAD();
  removeMonitors();
  QDialog::done(result);
  // The keyboard goes back to the window the sheet was shown on (without a window manager that
  // hands it back, it would go nowhere).
  if (QWidget* parent = parentWidget()) parent->activateWindow();
}

// The character the key types with no modifier held, upper-cased; empty for keys that type none.
QString DropKeyBindingSheet::characterIgnoringModifiers(const QKeyEvent& event) const {
  if (keyText_ && event.nativeScanCode() != 0) {
    if (auto text = keyText_(event.nativeScanCode())) return QString::fromStdString(*text).toUpper();
  }
  return toolkitCharacter(event);
}

bool DropKeyBindingSheet::isMine(QObject* watched) const {
  auto* widget = qobject_cast<QWidget*>(watched);
  return widget && widget->window() == this;
}

bool DropKeyBindingSheet::eventFilter(QObject* watched, QEvent* event) {
  QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride) return false;
  // Only the keys typed into the sheet: other windows of the application keep theirs.
  if (!isMine(watched)) return false;
  auto& key = static_cast<QKeyEvent&>(*event);
  if (passesThrough(key)) return false;
  if (type == QEvent::ShortcutOverride) {
    // Claimed, so that no shortcut or mnemonic fires; the key press follows.
    event->accept();
    return true;
  }
  if (isModifierKey(key.key())) {
    flagsChanged(flagsAfter(key));
  } else if (type == QEvent::KeyPress) {
    keyDown(key);
  }
  return true;
}

void DropKeyBindingSheet::keyDown(const QKeyEvent& event) {
  ML_ASSERT_MAIN_THREAD();
  LOG_VERBOSE("keys down. " << describe(event.modifiers()) << " + " << event.text().toStdString());
  std::vector<std::string> kept;
  QString character = characterIgnoringModifiers(event);
  if (isKept(character)) kept.push_back(character.toStdString());
  letters_ = std::move(kept);
  for (auto& letter : letters_) {
    if (letter == " ") {
      letter = kSpaceKeyName;
      break;
    }
  }
  modifiers_ = event.modifiers() & kModifierKeys;
  refreshDisplay();
}

void DropKeyBindingSheet::flagsChanged(Qt::KeyboardModifiers flags) {
  ML_ASSERT_MAIN_THREAD();
  flags &= kModifierKeys;
  LOG_VERBOSE("flags changed: " << describe(flags) << " rawValue: " << flags.toInt());
  if (flags & ~modifiers_) {
    modifiers_ = flags;
    refreshDisplay();
    return;
  }
  // Keys were released. Letting go of a whole combination must not lose it: a partial release
  // counts only once it has lasted, and a release of every key not at all.
  modifierDebouncer_.renewInterval([this, flags] {
    if (!(flags & kModifierKeys)) return;
    modifiers_ = flags;
    refreshDisplay();
  });
}

QString DropKeyBindingSheet::combinationText() const { return combination_->text(); }

void DropKeyBindingSheet::refreshDisplay() {
  ML_ASSERT_MAIN_THREAD();
  std::string text = DropKeyFormatter::glyphs(modifierKeysOf(modifiers_), DropKeyFormatter::sheetOrder());
  if (!text.empty() && !letters_.empty()) text += ' ';
  for (std::size_t i = 0; i < letters_.size(); ++i) {
    if (i > 0) text += " + ";
    text += letters_[i];
  }
  combination_->setText(QString::fromStdString(text).trimmed());
  // A new capture is a new question.
  ui_->refusal->clear();
  ui_->refusal->hide();
}

DropKeys DropKeyBindingSheet::capturedKeys() const {
  // "space" is how the sheet shows the space bar; the binding holds the space itself, which is
  // what the keyboard reports for a held space bar at a drop.
  std::string characters;
  for (const auto& letter : letters_) characters += letter == kSpaceKeyName ? std::string(" ") : letter;
  DropKeys keys;
  if (!characters.empty()) keys.characters = characters;
  keys.modifiers = modifierKeysOf(modifiers_);
  return keys;
}

void DropKeyBindingSheet::save() {
  ML_ASSERT_MAIN_THREAD();
  DropKeys keys = capturedKeys();
  if (validator_) {
    if (auto refusal = validator_(keys)) {
      LOG_INFO("drop-key binding refused. keys=" << keys << " reason=" << refusal->toStdString());
      ui_->refusal->setText(*refusal);
      ui_->refusal->show();
      // Room for the explanation below the combination, not over it.
      if (QLayout* layout = this->layout()) layout->activate();
      resize(width(), std::max(height(), sizeHint().height()));
      return;
    }
  }
  if (callback_) callback_(keys);
  accept();
}

QString DropKeyBindingSheet::refusalText() const { return ui_->refusal->isHidden() ? QString() : ui_->refusal->text(); }

void DropKeyBindingSheet::cancel() { reject(); }

std::string DropKeyBindingSheet::describe(Qt::KeyboardModifiers flags) {
  // Ctrl is the command key here, Super the control key, Alt the option key.
  std::string text = "[";
  auto add = [&text](bool set, const char* name) {
    if (!set) return;
    if (text.size() > 1) text += ',';
    text += name;
  };
  add(flags.testFlag(Qt::ControlModifier), ".command");
  add(flags.testFlag(Qt::MetaModifier), ".control");
  add(flags.testFlag(Qt::ShiftModifier), ".shift");
  add(flags.testFlag(Qt::AltModifier), ".option");
  return text + "]";
}

}  // namespace ml::shell
