#include "appkit/LocalizableControls.h"

#include "appkit/LocalizableMenuItem.h"
#include "appkit/LocalizableToolBarItem.h"
#include "appkit/LocalizedTextField.h"
#include "platform/dispatch/QueueAssert.h"

namespace ml::appkit {

void awakeLocalizableControls(QObject& root) {
  ML_ASSERT_MAIN_THREAD();
  for (auto* field : root.findChildren<LocalizedTextField*>()) field->awake();
  for (auto* item : root.findChildren<LocalizableMenuItem*>()) item->awake();
  for (auto* item : root.findChildren<LocalizableToolBarItem*>()) item->awake();
}

}  // namespace ml::appkit
