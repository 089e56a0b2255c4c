#pragma once
// The sheet that records a key combination for a drop action. While it is open it watches every
// key event that reaches it, ahead of buttons and shortcuts: a key press replaces the captured
// letters (letters and digits upper-cased, the space bar kept as a space) and takes the modifiers
// held with it. The letter is what the key types with no modifier held, read from the keyboard
// map as a drop reads it (Shift with 1 records "1", not "!"), so the binding matches the drop;
// only where no map can be read does the toolkit's key stand in; pressing a modifier adds it at once; releasing modifiers is adopted only once
// they have stayed released for 50 ms and some are still held, so letting go of a combination
// keeps it. Tab and Esc keep their usual meaning (focus, cancel) and are never captured.
//
// Save hands the capture to the callback as DropKeys (modifiers always present, possibly empty;
// no characters when no letter was captured) and closes the sheet; Cancel closes it alone. A
// validator, when set, may refuse the capture first: the sheet then stays open, says why under
// the combination, and calls nothing until another capture is saved. The sheet deletes itself
// once closed.
//
// Thread affinity: main thread. The debouncer's clock and queue must outlive the sheet.
#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Queue.h"
#include "shell/coding/DropKeys.h"
#include "shell/preferences/UnmodifiedKeyText.h"
#include "util/Debouncer.h"

class QKeyEvent;
class QLabel;

namespace Ui {
class DropKeyBindingSheet;
}

namespace ml::shell {

class DropKeyBindingSheet : public QDialog {
  Q_OBJECT
 public:
  using Callback = std::function<void(const DropKeys&)>;
  // Why a capture cannot be used, or nothing when it can.
  using Validator = std::function<std::optional<QString>(const DropKeys&)>;

  // `parent` is the window the sheet is shown on.
  explicit DropKeyBindingSheet(QWidget* parent, dispatch::Clock& clock = dispatch::Clock::system(),
                               dispatch::Queue& queue = dispatch::MainQueue::shared());
  ~DropKeyBindingSheet() override;

  void setCallback(Callback callback) { callback_ = std::move(callback); }
  void setValidator(Validator validator) { validator_ = std::move(validator); }
  // Where a key's unmodified text is looked up; the X11 keyboard map unless replaced.
  void setKeyText(UnmodifiedKeyText keyText) { keyText_ = std::move(keyText); }
  // The name of the action being bound, shown above the prompt.
  void setActionName(const QString& name);
  // Shows the sheet modally over its parent window and starts watching the keyboard.
  void beginSheet();

  // The captured key characters, one string per character, the space bar as "space".
  const std::vector<std::string>& letters() const { return letters_; }
  // The captured modifier state.
  Qt::KeyboardModifiers modifiers() const { return modifiers_; }
  // What the sheet shows: "⌘⇧ K".
  QString combinationText() const;
  // The binding Save hands over.
  DropKeys capturedKeys() const;
  // Why the last Save was refused; empty while nothing is refused.
  QString refusalText() const;

  // Capture steps, also reached directly by tests.
  void keyDown(const QKeyEvent& event);
  void flagsChanged(Qt::KeyboardModifiers flags);

  // The buttons' actions.
  void save();
  void cancel();

  // "[.command,.shift]": the names of the set flags in the log lines' order.
  static std::string describe(Qt::KeyboardModifiers flags);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void done(int result) override;

 private:
  void installMonitors();
  void removeMonitors();
  void refreshDisplay();
  bool isMine(QObject* watched) const;
  QString characterIgnoringModifiers(const QKeyEvent& event) const;

  std::unique_ptr<Ui::DropKeyBindingSheet> ui_;
  QLabel* combination_ = nullptr;  // owned by the sheet's widget tree
  Callback callback_;
  Validator validator_;
  UnmodifiedKeyText keyText_ = x11UnmodifiedKeyText();
  std::vector<std::string> letters_;
  Qt::KeyboardModifiers modifiers_;
  util::Debouncer modifierDebouncer_;
  bool monitoring_ = false;
};

}  // namespace ml::shell
