#pragma once
// Gives the selected items' names a case (upper, lower, or each word capitalised), for the
// user's locale, leaving the extension as it is: "report.pdf" becomes "REPORT.pdf", "My.Folder"
// becomes "MY.Folder". Each item is moved to its new name within its folder; the move never
// replaces another item; on a file system that ignores case it goes through a temporary name
// (rename::moveToNewName). The root is left out. An item whose name already has the case counts
// as done without a move.
//
// Fires ItemsRenamed on the list's store only, with the renames made; `wasSuccessful` is false
// when some selected item was not renamed (each failure is logged as a warning).
#include "list/commands/ListCommand.h"
#include "rename/rules/CaseFormat.h"

namespace ml::list {

class ChangeCaseFormat final : public ListCommand {
 public:
  explicit ChangeCaseFormat(rename::CaseFormat caseFormat) : caseFormat_(caseFormat) {}
  rename::CaseFormat caseFormat() const { return caseFormat_; }
  void execute(const ListWindowState& state, ListStore& core) override;

 private:
  rename::CaseFormat caseFormat_;
};

// The name with its base name in `format` for the user's locale and its extension unchanged;
// nothing when the name is not UTF-8 text.
std::optional<std::string> nameInCase(const std::string& name, rename::CaseFormat format);

}  // namespace ml::list
