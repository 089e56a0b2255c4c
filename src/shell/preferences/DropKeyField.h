#pragma once
// A read-only field that holds one drop-key binding (or none) and shows it through
// DropKeyFormatter. The binding is the field's value; the text only mirrors it.
//
// Thread affinity: main thread.
#include <QLineEdit>
#include <optional>

#include "shell/coding/DropKeys.h"

namespace ml::shell {

class DropKeyField : public QLineEdit {
  Q_OBJECT
 public:
  explicit DropKeyField(QWidget* parent = nullptr);

  const std::optional<DropKeys>& objectValue() const { return value_; }
  void setObjectValue(std::optional<DropKeys> value);

 private:
  std::optional<DropKeys> value_;
};

}  // namespace ml::shell
