#pragma once
// A toolbar item whose label, palette label and tool tip are localized from a strings table.
// Mapping onto a Qt action: the label is the action's icon text (shown in the toolbar), the
// palette label its text (shown in menus and the toolbar's overflow), the tool tip its tool tip.
#include <QAction>
#include <optional>

namespace ml::appkit {

class LocalizableToolBarItem : public QAction {
  Q_OBJECT
  Q_PROPERTY(QString table READ table WRITE setTable)
  Q_PROPERTY(QString labelKey READ labelKey WRITE setLabelKey)
  Q_PROPERTY(QString paletteLabelKey READ paletteLabelKey WRITE setPaletteLabelKey)
  Q_PROPERTY(QString toolTipKey READ toolTipKey WRITE setToolTipKey)

 public:
  explicit LocalizableToolBarItem(QObject* parent = nullptr);

  QString table() const { return table_.value_or(QString()); }
  QString labelKey() const { return labelKey_.value_or(QString()); }
  QString paletteLabelKey() const { return paletteLabelKey_.value_or(QString()); }
  QString toolTipKey() const { return toolTipKey_.value_or(QString()); }
  std::optional<QString> originalLabel() const { return originalLabel_; }
  std::optional<QString> originalPaletteLabel() const { return originalPaletteLabel_; }
  std::optional<QString> originalToolTip() const { return originalToolTip_; }
  // The tool tip set on the item, or nothing (Qt would otherwise show the text as tool tip).
  std::optional<QString> explicitToolTip() const;

  void setTable(const QString& table);
  void setLabelKey(const QString& key);
  void setPaletteLabelKey(const QString& key);
  void setToolTipKey(const QString& key);

  // Called once loaded: captures the three texts as given, then localizes them.
  void awake();
  // Localizes label, palette label and tool tip, in that order, each from its key when set, else
  // from its captured text; a text with neither is left unchanged.
  void localizeValues();

 private:
  QString lookup(const QString& text) const;

  std::optional<QString> originalLabel_, originalPaletteLabel_, originalToolTip_;
  std::optional<QString> table_, labelKey_, paletteLabelKey_, toolTipKey_;
};

}  // namespace ml::appkit
