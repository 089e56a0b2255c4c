#pragma once
// A validator that lets only unsigned decimal integers be typed (an empty text is allowed); any
// other keystroke beeps and is refused. Main thread.
#include <QValidator>

namespace ml::find {

class RestrictiveIntegerFormatter final : public QValidator {
 public:
  explicit RestrictiveIntegerFormatter(QObject* parent = nullptr) : QValidator(parent) {}
  State validate(QString& input, int& pos) const override;
  // Whether `text` may stand while typing (no beep).
  static bool isPartialStringValid(const QString& text);
};

}  // namespace ml::find
