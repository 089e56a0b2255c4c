#include "appkit/TolvekViewController.h"

#include "appkit/LocalizableControls.h"

namespace ml::appkit {

TolvekViewController::TolvekViewController(QWidget* parent) : QWidget(parent) {}

void TolvekViewController::finishLoading() {
  if (loaded_) return;
  loaded_ = true;
  awakeLocalizableControls(*this);
  viewDidLoad();
}

}  // namespace ml::appkit
