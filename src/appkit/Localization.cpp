#include "appkit/Localization.h"

#include "platform/foundation/LocalizedStrings.h"

namespace ml::appkit {

QString localizedText(const QString& text, const QString& table) {
  // The application ships one strings table; a text from another table stands for itself.
  if (!table.isEmpty() && table != QLatin1String(kDefaultStringsTable)) return text;
  return QString::fromStdString(foundation::localizedString(text.toStdString()));
}

}  // namespace ml::appkit
