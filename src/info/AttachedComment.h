#pragma once
// Moves a comment that older systems attached in an item's resource fork ('CEKI') into its
// Finder comment, since nothing reads attached comments any more. Subscribed to the Info window's
// store beside the panes but drawing nothing, so that showing an item never writes to it: once
// each time an item comes to be shown, a plain file without a Finder comment whose fork holds an
// attached comment in UTF-8 gets that text as its Finder comment, written in the background.
// A failed write is logged at error level with the path and the error; a done one asks the panes
// to redraw (InterfaceInvalidated), so the comment shows. Main thread.
#include <QObject>
#include <optional>

#include "files/Path.h"
#include "info/StoreConnection.h"

namespace ml::info {

class AttachedCommentCopier final : public QObject, public StoreConnection {
  Q_OBJECT
 public:
  explicit AttachedCommentCopier(QObject* parent = nullptr);
  void update(const InfoWindowState& state);

 private:
  std::optional<files::Path> shown_;
};

}  // namespace ml::info
