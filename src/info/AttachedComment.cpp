#include "info/AttachedComment.h"

#include "files/Files.h"
#include "platform/dispatch/GlobalPool.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/logging/Log.h"

namespace ml::info {

void copyAttachedComment(const files::Path& item, std::string text, std::function<void(const std::string&)> copied) {
  LOG_INFO("copying attached comments to finder metadata since attached comments are no longer supported. path="
           << item.description());
  dispatch::GlobalPool::shared().async([item, text = std::move(text), copied = std::move(copied)] {
    if (auto status = files::Files::setComment(item, text); !status) {
      LOG_ERROR("failed to copy attached comments to finder metadata. path=" << item.description()
                                                                             << " error=" << status.error().description());
      return;
    }
    dispatch::MainQueue::shared().async([text, copied] { copied(text); });
  });
}

}  // namespace ml::info
