#pragma once
// A text label localized from a strings table when its interface file has loaded: from its `key`
// when set, else from its own text, which then serves as the key.
#include <QLabel>
#include <optional>

namespace ml::appkit {

class LocalizedTextField : public QLabel {
  Q_OBJECT
  Q_PROPERTY(QString table READ table WRITE setTable)
  Q_PROPERTY(QString key READ key WRITE setKey)

 public:
  explicit LocalizedTextField(QWidget* parent = nullptr);

  QString table() const { return table_.value_or(QString()); }
  QString key() const { return key_.value_or(QString()); }
  // Re-localizes with the new key (a null key re-localizes from the current text).
  void setKey(const QString& key);
  // A null table changes nothing; any other table re-localizes with it.
  void setTable(const QString& table);

  // Called once the interface file has loaded.
  void awake();

 private:
  void relocalize();

  std::optional<QString> table_;
  std::optional<QString> key_;
};

}  // namespace ml::appkit
