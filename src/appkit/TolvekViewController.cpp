#include "appkit/TolvekViewController.h"

#include "appkit/LocalizableControls.h"
#include "platform/dispatch/QueueAssert.h"

namespace ml::appkit {

TolvekViewController::TolvekViewController(QWidget* parent) : QWidget(parent) {}

void TolvekViewController::finishLoading() {
  ML_ASSERT_MAIN_THREAD();
  if (loaded_) return;
  loaded_ = true;
  awakeLocalizableControls(*this);
  viewDidLoad();
}

}  // namespace ml::appkit
