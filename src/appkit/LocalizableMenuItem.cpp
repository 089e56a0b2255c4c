#include "appkit/LocalizableMenuItem.h"

#include "appkit/Localization.h"

namespace ml::appkit {

namespace {
std::optional<QString> optionalOf(const QString& value) {
  return value.isNull() ? std::nullopt : std::optional<QString>(value);
}
}  // namespace

LocalizableMenuItem::LocalizableMenuItem(QObject* parent) : QAction(parent) {}

LocalizableMenuItem::LocalizableMenuItem(const QString& title, QObject* parent) : QAction(title, parent) {}

void LocalizableMenuItem::setTable(const QString& table) {
  table_ = optionalOf(table);
  localize();
}

void LocalizableMenuItem::setKey(const QString& key) {
  key_ = optionalOf(key);
  localize();
}

void LocalizableMenuItem::awake() {
  originalTitle_ = text();
  localize();
}

void LocalizableMenuItem::localize() {
  const std::optional<QString>& source = key_ ? key_ : originalTitle_;
  if (!source) return;
  setText(localizedText(*source, table_.value_or(QString())));
}

}  // namespace ml::appkit
