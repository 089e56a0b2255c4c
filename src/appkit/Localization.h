#pragma once
// The lookup behind every localizable control: a text is looked up in a strings table (the
// "Localizable" table when none is named) and stands for itself when the table has no entry.
#include <QString>

namespace ml::appkit {

inline constexpr const char* kDefaultStringsTable = "Localizable";

// Any thread. A null or empty `table` means the default table.
QString localizedText(const QString& text, const QString& table = {});

}  // namespace ml::appkit
