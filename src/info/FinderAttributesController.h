#pragma once
// The Finder pane of the Info window: the version text of the item's resource fork, its Finder
// comment, type and creator codes, the stationery, name-locked, locked, alias and package flags,
// the data and resource fork sizes and the backup date. The stationery and lock check boxes
// only show their flags (nothing writes them back; a pending edit from elsewhere still shows
// with its marker); the clone menu takes the codes from another item. Pending codes show in the
// code controls with their markers; an item that is not a plain file shows no codes.
// It only shows: the copy of a comment attached in the resource fork into the Finder comment is
// AttachedCommentCopier's. Main thread.
#include <QPointer>
#include <memory>
#include <optional>

#include "appkit/TolvekViewController.h"
#include "info/StoreConnection.h"

namespace Ui {
class FinderAttributesController;
}

namespace ml::info {

class BoundedTextView;

class FinderAttributesController final : public appkit::TolvekViewController, public StoreConnection {
  Q_OBJECT
 public:
  explicit FinderAttributesController(QWidget* parent = nullptr);
  ~FinderAttributesController() override;

  void update(const InfoWindowState& state);

 public slots:
  // A check box was toggled (the sender is the check box).
  void onFlagToggled();
  void copyFileType();
  void copyCreator();
  void copyCreatorAndFileType();

 private:
  void showPlainFileDetails(bool shown);
  void showCode(QWidget& control, const std::optional<std::string>& code, bool pending);

  std::unique_ptr<Ui::FinderAttributesController> ui_;
  BoundedTextView* commentsView_ = nullptr;  // a child widget holding the comments field
};

}  // namespace ml::info
