#pragma once
// A check box that shows a state the user cannot change: clicks and the keyboard leave it as it
// is; only code changes it (setChecked, setCheckState).
#include <QCheckBox>

namespace ml::appkit {

class ImmutableButton : public QCheckBox {
  Q_OBJECT
 public:
  explicit ImmutableButton(QWidget* parent = nullptr);

 protected:
  // A user's click would advance the state here; an immutable button keeps it.
  void nextCheckState() override {}
};

}  // namespace ml::appkit
