#pragma once
// Everything the user has set in one rename dialog, held by the dialog's own store. Each control
// fires one event (RenameDialogEvents.h); react() applies it. From the state come whether the
// settings are usable (isValid) and the rule they describe (strategy).
//
// A value type, copied once per handled event: the items sit behind a shared pointer.
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "files/Path.h"
#include "platform/store/Event.h"
#include "rename/dialog/ChangeMode.h"
#include "rename/rules/BasicRenamingStrategy.h"
#include "rename/rules/CaseFormat.h"
#include "rename/rules/MatchLocation.h"
#include "rename/rules/ReplacementMode.h"

namespace ml::rename {

// Rules with a shorter length limit are not offered: such names say little about the item.
inline constexpr std::int64_t kMinimumNameLength = 8;

struct RenameDialogState {
  // The items given to the dialog, in the caller's order; fixed for the dialog's life.
  explicit RenameDialogState(std::vector<files::Path> items);

  const std::vector<files::Path>& items() const { return *items_; }

  ChangeMode mode = ChangeMode::replace(false);
  std::string pattern;
  std::optional<std::string> replacement;
  MatchLocation locations = MatchLocation::everywhere;
  ReplacementMode replacementMode = ReplacementMode::first;
  std::optional<std::string> prefix = std::string();
  std::optional<std::string> suffix = std::string();
  std::optional<std::string> note;  // nothing changes or reads it
  bool isNoteAWarning = false;      // nothing changes or reads it
  // Whether the length limit is on; maxNameLength keeps the last typed limit while it is off.
  bool trimLength = false;
  std::optional<std::int64_t> maxNameLength;
  bool caseSensitive = true;
  bool maintainCase = false;  // no event changes it
  bool preserveExtensions = true;
  std::optional<CaseFormat> caseFormat;
  bool includeFiles = true;     // no event changes it
  bool includeFolders = false;  // no event changes it

  // The reducer: applies one of the dialog's events; any other event changes nothing.
  void react(const store::Event& event);

  // Whether the settings are complete: a pattern where the mode needs one, a replacement where
  // it needs one, equally long character lists, a regular expression that compiles.
  bool isValid() const;
  // The rule the settings describe, made anew on each call; null when they are not valid, and
  // also when valid settings make no usable rule (a length limit below kMinimumNameLength).
  std::shared_ptr<const BasicRenamingStrategy> strategy() const;
  // Whether executing has a rule to apply: valid settings that make one.
  bool canExecute() const { return isValid() && strategy() != nullptr; }
  // Why executing is not possible, for the line beside the greyed button ("The regular
  // expression is not valid: a parenthesis is not closed or not opened, at character 4."); nothing
  // when it is, and nothing while the text to look for is still empty (no reason is needed there).
  std::optional<std::string> problem() const;

  // For logs: the settings, not the items.
  friend std::ostream& operator<<(std::ostream& out, const RenameDialogState& state);

 private:
  std::shared_ptr<const std::vector<files::Path>> items_;
};

}  // namespace ml::rename
