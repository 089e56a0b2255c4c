#include "appkit/LocalizableToolBarItem.h"

#include "appkit/Localization.h"

namespace ml::appkit {

namespace {

std::optional<QString> optionalOf(const QString& value) {
  return value.isNull() ? std::nullopt : std::optional<QString>(value);
}

// What QAction answers as tool tip when none was set: its text without mnemonics and a trailing
// ellipsis.
QString automaticToolTip(const QString& text) {
  QString stripped = text;
  stripped.remove(QStringLiteral("..."));
  for (qsizetype i = 0; i < stripped.size(); ++i) {
    if (stripped.at(i) == u'&') stripped.remove(i, 1);
  }
  return stripped.trimmed();
}

}  // namespace

LocalizableToolBarItem::LocalizableToolBarItem(QObject* parent) : QAction(parent) {}

std::optional<QString> LocalizableToolBarItem::explicitToolTip() const {
  QString tip = toolTip();
  if (tip.isEmpty() || tip == automaticToolTip(text())) return std::nullopt;
  return tip;
}

QString LocalizableToolBarItem::lookup(const QString& text) const {
  return localizedText(text, table_.value_or(QString()));
}

void LocalizableToolBarItem::setTable(const QString& table) {
  table_ = optionalOf(table);
  localizeValues();
}

void LocalizableToolBarItem::setLabelKey(const QString& key) {
  labelKey_ = optionalOf(key);
  setIconText(lookup(labelKey_.value_or(originalLabel_.value_or(QString()))));
}

void LocalizableToolBarItem::setPaletteLabelKey(const QString& key) {
  paletteLabelKey_ = optionalOf(key);
  setText(lookup(paletteLabelKey_.value_or(originalPaletteLabel_.value_or(QString()))));
}

void LocalizableToolBarItem::setToolTipKey(const QString& key) {
  toolTipKey_ = optionalOf(key);
  setToolTip(lookup(toolTipKey_.value_or(originalToolTip_.value_or(QString()))));
}

void LocalizableToolBarItem::awake() {
  originalLabel_ = iconText();
  originalPaletteLabel_ = text();
  originalToolTip_ = explicitToolTip();
  localizeValues();
}

void LocalizableToolBarItem::localizeValues() {
  // Read before any write: setting the text changes what Qt derives for the icon text.
  std::optional<QString> label = labelKey_ ? labelKey_ : originalLabel_;
  std::optional<QString> palette = paletteLabelKey_ ? paletteLabelKey_ : originalPaletteLabel_;
  std::optional<QString> tip = toolTipKey_ ? toolTipKey_ : originalToolTip_;
  if (label) setIconText(lookup(*label));
  if (palette) {
    QString iconTextBefore = iconText();
    setText(lookup(*palette));
    // QAction derives the icon text from the text until it is set; keep the label as it was.
    setIconText(iconTextBefore);
  }
  if (tip) setToolTip(lookup(*tip));
}

}  // namespace ml::appkit
