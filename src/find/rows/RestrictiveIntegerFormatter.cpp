#include "find/rows/RestrictiveIntegerFormatter.h"

#include <QApplication>

namespace ml::find {

bool RestrictiveIntegerFormatter::isPartialStringValid(const QString& text) {
  if (text.isEmpty()) return true;
  for (QChar c : text)
    if (c < QChar('0') || c > QChar('9')) return false;
  bool ok = false;
  text.toULongLong(&ok, 10);
  return ok;
}

QValidator::State RestrictiveIntegerFormatter::validate(QString& input, int&) const {
  if (isPartialStringValid(input)) return Acceptable;
  QApplication::beep();
  return Invalid;
}

}  // namespace ml::find
