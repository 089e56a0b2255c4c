#pragma once
// A menu item whose title is localized from a strings table: from its `key` when set, else from
// the title it was given. Interface files and menu builders set `table` and `key`; each setter
// localizes at once, and awake() captures the given title and localizes once loading is done.
#include <QAction>
#include <optional>

namespace ml::appkit {

class LocalizableMenuItem : public QAction {
  Q_OBJECT
  Q_PROPERTY(QString table READ table WRITE setTable)
  Q_PROPERTY(QString key READ key WRITE setKey)

 public:
  explicit LocalizableMenuItem(QObject* parent = nullptr);
  LocalizableMenuItem(const QString& title, QObject* parent);

  // Null QStrings stand for "not set".
  QString table() const { return table_.value_or(QString()); }
  QString key() const { return key_.value_or(QString()); }
  std::optional<QString> originalTitle() const { return originalTitle_; }
  void setTable(const QString& table);
  void setKey(const QString& key);

  // Called once the item is fully loaded: keeps the title as given, then localizes.
  void awake();
  // The title becomes the localized form of `key`, else of the original title; neither set:
  // the title is left alone.
  void localize();

 private:
  std::optional<QString> originalTitle_;
  std::optional<QString> table_;
  std::optional<QString> key_;
};

}  // namespace ml::appkit
