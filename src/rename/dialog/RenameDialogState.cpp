#include "rename/dialog/RenameDialogState.h"

#include "platform/foundation/LocalizedStrings.h"
#include "rename/dialog/RenameDialogEvents.h"
#include "rename/rules/RegularExpression.h"
#include "rename/rules/UnicodeText.h"

namespace ml::rename {

RenameDialogState::RenameDialogState(std::vector<files::Path> items)
    : items_(std::make_shared<const std::vector<files::Path>>(std::move(items))) {}

void RenameDialogState::react(const store::Event& event) {
  if (auto* e = event.as<NameChangeModeUpdated>()) {
    mode = e->mode;
    // Deleting has no replacement; the field keeps its text until it is edited again.
    if (mode.isRemove()) replacement.reset();
    return;
  }
  if (auto* e = event.as<PatternUpdated>()) {
    pattern = e->value;
    return;
  }
  if (auto* e = event.as<ReplacementValueUpdated>()) {
    replacement = e->value;
    return;
  }
  if (auto* e = event.as<ReplacementModeChanged>()) {
    replacementMode = e->mode;
    return;
  }
  if (auto* e = event.as<MatchLocationsChanged>()) {
    locations = e->locations;
    return;
  }
  if (auto* e = event.as<PrefixChanged>()) {
    prefix = e->enabled ? std::optional<std::string>(e->prefix) : std::nullopt;
    return;
  }
  if (auto* e = event.as<SuffixChanged>()) {
    suffix = e->enabled ? std::optional<std::string>(e->suffix) : std::nullopt;
    return;
  }
  if (auto* e = event.as<TrimNameToggled>()) {
    trimLength = e->enabled;
    return;
  }
  if (auto* e = event.as<MaxNameLengthUpdated>()) {
    // An emptied field turns the limit off but keeps the last limit for the checkbox.
    if (e->maxLength) maxNameLength = e->maxLength;
    trimLength = e->maxLength.has_value();
    return;
  }
  if (auto* e = event.as<CaseFormatChanged>()) {
    caseFormat = e->format;
    return;
  }
  if (auto* e = event.as<CaseSensitivityToggled>()) {
    caseSensitive = e->enabled;
    return;
  }
  if (auto* e = event.as<ExtensionPreservationChanged>()) preserveExtensions = e->preserveExtension;
}

bool RenameDialogState::isValid() const {
  switch (mode.kind()) {
    case ChangeMode::Kind::remove: return !pattern.empty();
    case ChangeMode::Kind::none: return true;
    case ChangeMode::Kind::regex: return replacement && RegularExpression::compile(pattern, !caseSensitive).ok();
    case ChangeMode::Kind::replace:
      if (pattern.empty() || !replacement) return false;
      if (!mode.characters()) return !replacement->empty();
      return unicode::characters(std::string_view(pattern)).size() ==
             unicode::characters(std::string_view(*replacement)).size();
  }
  return false;
}

std::optional<std::string> RenameDialogState::problem() const {
  using foundation::localizedString;
  const bool needsPattern = mode.kind() != ChangeMode::Kind::none;
  if (needsPattern && pattern.empty()) return std::nullopt;
  switch (mode.kind()) {
    case ChangeMode::Kind::regex:
      if (auto why = RegularExpression::problemWith(pattern, !caseSensitive)) {
        return localizedString("The regular expression is not valid: ") + *why + ".";
      }
      if (!replacement) {
        return localizedString("Type the replacement. To remove what matches, choose Delete Text.");
      }
      break;
    case ChangeMode::Kind::replace:
      if (!replacement || (!mode.characters() && replacement->empty())) {
        return localizedString("Type the replacement.");
      }
      if (mode.characters()) {
        const auto from = unicode::characters(std::string_view(pattern)).size();
        const auto to = unicode::characters(std::string_view(*replacement)).size();
        if (from != to) {
          return localizedString("The replacement needs as many characters as the pattern (") +
                 std::to_string(from) + ", not " + std::to_string(to) + ").";
        }
      }
      break;
    case ChangeMode::Kind::remove:
    case ChangeMode::Kind::none:
      break;
  }
  if (trimLength && maxNameLength && *maxNameLength < kMinimumNameLength) {
    return localizedString("Names cannot be shortened to fewer than ") + std::to_string(kMinimumNameLength) +
           localizedString(" characters.");
  }
  if (!canExecute()) return localizedString("These settings make no rule to apply.");
  return std::nullopt;
}

std::shared_ptr<const BasicRenamingStrategy> RenameDialogState::strategy() const {
  if (!isValid()) return nullptr;
  auto rule = std::make_shared<BasicRenamingStrategy>();
  rule->applyToFiles = includeFiles;
  rule->applyToDirectories = includeFolders;
  rule->caseSensitive = caseSensitive;
  rule->prefix = prefix;
  rule->suffix = suffix;
  rule->preserveExtensions = preserveExtensions;
  if (trimLength) rule->maxLength = maxNameLength;
  rule->caseFormat = caseFormat;

  switch (mode.kind()) {
    case ChangeMode::Kind::replace:
      if (mode.characters()) {
        rule->name = NameModification::replaceCharacters(unicode::characters(std::string_view(pattern)),
                                                         unicode::characters(std::string_view(replacement.value_or(""))),
                                                         maintainCase);
      } else {
        rule->name = NameModification::replace(pattern, replacement.value_or(""), replacementMode, locations);
      }
      break;
    case ChangeMode::Kind::remove:
      if (mode.characters()) {
        rule->name = NameModification::deleteCharacters(unicode::characters(std::string_view(pattern)));
      } else {
        // Replacing each match by nothing removes it.
        rule->name = NameModification::replace(pattern, "", replacementMode, locations);
      }
      break;
    case ChangeMode::Kind::regex: {
      auto expression = RegularExpression::compile(pattern, !caseSensitive);
      if (!expression) return nullptr;
      rule->name = NameModification::regex(*expression, replacement.value_or(""), replacementMode);
      break;
    }
    case ChangeMode::Kind::none: rule->name = NameModification::none(); break;
  }

  if (rule->maxLength && *rule->maxLength < kMinimumNameLength) return nullptr;
  if (auto* m = rule->name.as<NameModification::ReplaceCharacters>()) {
    if (m->from.empty() || m->to.empty() || m->from.size() != m->to.size()) return nullptr;
  }
  if (auto* m = rule->name.as<NameModification::DeleteCharacters>()) {
    if (m->characters.empty()) return nullptr;
  }
  return rule;
}

std::ostream& operator<<(std::ostream& out, const RenameDialogState& state) {
  auto optional = [](const std::optional<std::string>& value) { return value ? "\"" + *value + "\"" : std::string("nil"); };
  out << "RenameDialogState(items: " << state.items().size() << ", mode: " << state.mode << ", pattern: \""
      << state.pattern << "\", replacement: " << optional(state.replacement)
      << ", prefix: " << optional(state.prefix) << ", suffix: " << optional(state.suffix)
      << ", trimLength: " << (state.trimLength ? "true" : "false") << ", maxNameLength: ";
  if (state.maxNameLength) {
    out << *state.maxNameLength;
  } else {
    out << "nil";
  }
  return out << ", caseSensitive: " << (state.caseSensitive ? "true" : "false")
             << ", preserveExtensions: " << (state.preserveExtensions ? "true" : "false") << ")";
}

}  // namespace ml::rename
