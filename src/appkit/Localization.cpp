#include "appkit/Localization.h"

namespace ml::appkit {

QString localizedText(const QString& text, const QString& table) {
  (void)table;
  return text;
}

}  // namespace ml::appkit
