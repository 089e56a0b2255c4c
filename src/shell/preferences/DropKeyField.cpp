#include "shell/preferences/DropKeyField.h"

#include "platform/dispatch/QueueAssert.h"
#include "shell/preferences/DropKeyFormatter.h"

namespace ml::shell {

DropKeyField::DropKeyField(QWidget* parent) : QLineEdit(parent) {
  ML_ASSERT_MAIN_THREAD();
  setReadOnly(true);
  // The binding is changed only through its button; the field never takes the keyboard.
  setFocusPolicy(Qt::NoFocus);
  setAlignment(Qt::AlignCenter);
}

void DropKeyField::setObjectValue(std::optional<DropKeys> value) {
  ML_ASSERT_MAIN_THREAD();
  value_ = std::move(value);
  setText(QString::fromStdString(DropKeyFormatter::string(value_).value_or(std::string())));
}

}  // namespace ml::shell
