#include "info/AttachedComment.h"

#include <QStringDecoder>

#include "files/FileSystem.h"
#include "files/Files.h"
#include "files/HfsResourceFork.h"
#include "info/state/InfoWindowEvents.h"
#include "platform/dispatch/GlobalPool.h"
#include "platform/logging/Log.h"

namespace ml::info {

namespace {

// The text of an attached comment, when it is valid UTF-8.
std::optional<std::string> utf8Text(const std::vector<uint8_t>& bytes) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = decoder(QByteArrayView(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
  if (decoder.hasError()) return std::nullopt;
  return text.toStdString();
}

// The attached comment to copy: only for a plain file with none of its own (an empty one counts).
std::optional<std::string> commentToCopy(const files::Path& item) {
  if (files::Files::type(item) != files::FileType::normal || files::Files::comment(item)) return std::nullopt;
  auto fork = files::resourceFork(item.fileSystem().finderAttributes(item));
  if (!fork) return std::nullopt;
  const auto attached = fork->resources("CEKI");
  if (attached.empty()) return std::nullopt;
  return utf8Text(attached.front());
}

}  // namespace

AttachedCommentCopier::AttachedCommentCopier(QObject* parent) : QObject(parent) {}

void AttachedCommentCopier::update(const InfoWindowState& state) {
  const auto item = state.displayedPath();
  if (!item || item == shown_) return;  // a redraw of the item shown: copied already, or not at all
  shown_ = item;
  auto text = commentToCopy(*item);
  if (!text) return;
  LOG_INFO("copying attached comments to finder metadata since attached comments are no longer supported. path="
           << item->description());
  dispatch::GlobalPool::shared().async([item = *item, text = std::move(*text), store = std::weak_ptr(reactor())] {
    if (auto status = files::Files::setComment(item, text); !status) {
      LOG_ERROR("failed to copy attached comments to finder metadata. path=" << item.description()
                                                                             << " error=" << status.error().description());
      return;
    }
    if (auto core = store.lock()) core->fire(InterfaceInvalidated());
  });
}

}  // namespace ml::info
