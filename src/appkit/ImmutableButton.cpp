#include "appkit/ImmutableButton.h"

namespace ml::appkit {

ImmutableButton::ImmutableButton(QWidget* parent) : QCheckBox(parent) {}

}  // namespace ml::appkit
