#include "list/commands/ChangeCaseFormat.h"

#include <unicode/locid.h>

#include "list/commands/SimpleRename.h"
#include "list/rows/PathNames.h"
#include "list/state/ListEvents.h"
#include "platform/logging/Log.h"
#include "rename/mover/MoveToNewName.h"
#include "rename/mover/RenameFailure.h"
#include "rename/rules/UnicodeText.h"

namespace ml::list {

namespace {

// Base name and extension as a path's extension is read: the text after the last "." of the
// name, unless that dot starts the name (".profile" has none).
std::pair<std::string, std::string> splitExtension(const std::string& name) {
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return {name, std::string()};
  return {name.substr(0, dot), name.substr(dot + 1)};
}

void addChange(shell::PathMapping& changes, const files::Path& from, const files::Path& to) {
  // A later change of the same item replaces the earlier one, as in a map.
  for (auto& change : changes) {
    if (change.first == from) {
      change.second = to;
      return;
    }
  }
  changes.emplace_back(from, to);
}

}  // namespace

std::optional<std::string> nameInCase(const std::string& name, rename::CaseFormat format) {
  auto [base, extension] = splitExtension(name);
  auto text = rename::unicode::fromUtf8(base);
  if (!text) return std::nullopt;
  std::string converted = rename::unicode::toUtf8(rename::unicode::withCase(*text, format, icu::Locale::getDefault()));
  if (extension.empty()) return converted;
  return converted + "." + extension;
}

void ChangeCaseFormat::execute(const ListWindowState& state, ListStore& core) {
  shell::PathMapping changes;
  std::string failures;  // one line per item that kept its name, for the alert
  for (const auto& item : state.selectedItems()) {
    auto parent = item.parent();
    if (!parent) continue;
    const std::string name = lastPathComponent(item.url());
    auto newName = nameInCase(name, caseFormat_);
    if (!newName) {
      LOG_WARNING("failed to change item name: " << item.description() << " -> " << name
                                                 << ". error=the name is not UTF-8 text");
      continue;
    }
    if (*newName == name) {
      addChange(changes, item, item);
      continue;
    }
    files::Path renamed(parent->sharedFileSystem(), parent->url() / *newName);
    auto status = rename::moveToNewName(item, renamed);
    if (!status) {
      LOG_WARNING("failed to change item name: " << item.description() << " -> " << splitExtension(*newName).first
                                                 << ". error=" << status.error());
      failures += (failures.empty() ? "" : "\n") + rename::renameFailureText(item, status.error());
      continue;
    }
    addChange(changes, item, renamed);
  }
  const bool wasSuccessful = changes.size() == state.selectedItems().size();
  core.fire(ItemsRenamed(std::move(changes), wasSuccessful));
  if (!failures.empty()) tellNameChangeFailed(state.view, failures);
}

}  // namespace ml::list
