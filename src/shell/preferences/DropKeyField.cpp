#include "shell/preferences/DropKeyField.h"

#include "shell/preferences/DropKeyFormatter.h"

namespace ml::shell {

DropKeyField::DropKeyField(QWidget* parent) : QLineEdit(parent) {
  setReadOnly(true);
  // The binding is changed only through its button; the field never takes the keyboard.
  setFocusPolicy(Qt::NoFocus);
  setAlignment(Qt::AlignCenter);
}

void DropKeyField::setObjectValue(std::optional<DropKeys> value) {
  value_ = std::move(value);
  setText(QString::fromStdString(DropKeyFormatter::string(value_).value_or(std::string())));
}

}  // namespace ml::shell
