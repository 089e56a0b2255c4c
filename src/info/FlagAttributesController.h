#pragma once
// The flags pane of the Info window: extension hidden and invisible, which become pending edits
// when toggled (a marker shows beside each while its edit is pending), and custom icon, shown
// off and not changeable. An item whose name starts with "." is invisible by its name alone:
// its invisible box shows checked and cannot be cleared. Main thread.
#include <memory>

#include "appkit/TolvekViewController.h"
#include "info/StoreConnection.h"

namespace Ui {
class FlagAttributesController;
}

namespace ml::info {

class FlagAttributesController final : public appkit::TolvekViewController, public StoreConnection {
  Q_OBJECT
 public:
  explicit FlagAttributesController(QWidget* parent = nullptr);
  ~FlagAttributesController() override;

  void update(const InfoWindowState& state);

 public slots:
  // A check box was toggled (the sender is the check box).
  void onFlagToggled();

 private:
  std::unique_ptr<Ui::FlagAttributesController> ui_;
};

}  // namespace ml::info
