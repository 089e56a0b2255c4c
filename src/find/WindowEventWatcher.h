#pragma once
// Keeps a find window's "add to the front list" result choice (tag 1) enabled only while some list
// window is open; when it gets disabled while chosen, the popup falls back to its first item.
// Notified on the main queue.
#include <QComboBox>
#include <QPointer>

#include "platform/store/Subscriber.h"
#include "shell/GlobalState.h"

namespace ml::find {

class WindowEventWatcher final : public store::Subscriber<shell::GlobalState> {
 public:
  explicit WindowEventWatcher(QComboBox* popup) : popup(popup) {}
  void update(const shell::GlobalState& state) override;

  QPointer<QComboBox> popup;
};

}  // namespace ml::find
