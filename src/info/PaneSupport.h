#pragma once
// Small helpers the Info window's panes share. Main thread.
#include <QObject>
#include <QString>
#include <QWidget>
#include <optional>
#include <string>

#include "info/state/EditableField.h"

namespace ml::info {

inline QString qt(const std::string& text) { return QString::fromStdString(text); }

// The field a control edits: its "tag" property as an EditableField raw value.
inline std::optional<EditableField> fieldOf(const QObject* control) {
  if (!control) return std::nullopt;
  bool ok = false;
  const int tag = control->property("tag").toInt(&ok);
  return ok ? editableField(tag) : std::nullopt;
}

// Markers (the widgets the interface marks with the "marker" property) keep their place in the
// layout while hidden, so showing one does not shift its row.
inline void keepMarkerSpace(QWidget& root) {
  for (auto* child : root.findChildren<QWidget*>()) {
    if (!child->property("marker").toBool()) continue;
    QSizePolicy policy = child->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    child->setSizePolicy(policy);
    child->hide();
  }
}

}  // namespace ml::info
