#pragma once
// Renames one listed item in place (the end of editing its name in the outline). The editor held
// the name's shown form, which loses bytes (marks for control characters, U+FFFD for bytes that
// are not UTF-8): the edited text becomes a name through files::editedName, so whatever the user
// left alone keeps its original bytes. The item is moved within its folder; the move never
// replaces another item. On success the row is replaced by one for the new name (ItemsRenamed);
// a name that comes out unchanged keeps the item where it is and refreshes its row. On failure,
// and for a name that would leave the folder (empty, ".", "..", or holding "/"), the error is
// logged and the window shows "Name change failed"; the row stays.
#include <memory>
#include <string>

#include "files/Path.h"
#include "list/commands/ListCommand.h"

namespace ml::list {

class OutlineView;

class SimpleRename final : public ListCommand {
 public:
  // `editedText`: the editor's text (UTF-8) when editing ended.
  SimpleRename(files::Path item, std::string editedText) : item_(std::move(item)), editedText_(std::move(editedText)) {}
  const files::Path& item() const { return item_; }
  const std::string& editedText() const { return editedText_; }
  void execute(const ListWindowState& state, ListStore& core) override;

 private:
  files::Path item_;
  std::string editedText_;
};

// Shows "Name change failed" over the window's outline with `details` (each item's name and
// reason) as its informative text; nothing when the window is gone. Any thread.
void tellNameChangeFailed(const std::shared_ptr<OutlineView>& view, std::string details);

// Whether `name` names an item inside a folder: not empty, not "." or "..", no "/" and no NUL.
bool isSingleComponentName(const std::string& name);

}  // namespace ml::list
