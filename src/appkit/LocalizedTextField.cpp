#include "appkit/LocalizedTextField.h"

#include "appkit/Localization.h"

namespace ml::appkit {

LocalizedTextField::LocalizedTextField(QWidget* parent) : QLabel(parent) {}

void LocalizedTextField::setKey(const QString& key) {
  key_ = key.isNull() ? std::nullopt : std::optional<QString>(key);
  relocalize();
}

void LocalizedTextField::setTable(const QString& table) {
  table_ = table.isNull() ? std::nullopt : std::optional<QString>(table);
  if (!table_) return;
  relocalize();
}

void LocalizedTextField::awake() { relocalize(); }

void LocalizedTextField::relocalize() {
  setText(localizedText(key_.value_or(text()), table_.value_or(QString())));
}

}  // namespace ml::appkit
