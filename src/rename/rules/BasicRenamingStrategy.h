#pragma once
// The renaming rule the batch rename builds from its settings: a record filled in field by field
// after default construction, then shared read-only (as a const RenamingStrategy).
//
// apply() on a name N, in order:
//  1. the result starts with `prefix`;
//  2. with `preserveExtensions` and a "." after N's first character, the extension is the text
//     after the last "." (possibly empty) and the base the text before it; otherwise the base is
//     all of N ("archive.tar.gz": base "archive.tar", extension "gz"; ".profile": no extension);
//  3. `name` changes the base, which is appended;
//  4. `suffix` is appended (before the extension);
//  5. `maxLength` cuts the result (prefix and suffix included) to that many user-perceived
//     characters, keeping room for "." and the extension, which are appended after the cut;
//     when the extension leaves no room, nothing is cut (the result may exceed the limit);
//  6. `caseFormat` re-cases the whole result, extension included, for the user's locale.
//
// It fails when the name is not UTF-8 (a text rule cannot keep its bytes), when the search text
// of a `replace` is not a valid pattern, or when a pattern runs past its matching work limit.
// `applyToFiles` and `applyToDirectories` travel with the rule; apply() does not read them.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "rename/rules/CaseFormat.h"
#include "rename/rules/NameModification.h"
#include "rename/rules/PatternCache.h"
#include "rename/rules/RenamingStrategy.h"

namespace ml::rename {

class BasicRenamingStrategy final : public RenamingStrategy {
 public:
  NameModification name = NameModification::none();
  std::optional<std::string> prefix;
  std::optional<std::string> suffix;
  bool applyToFiles = true;
  bool applyToDirectories = true;
  bool preserveExtensions = true;
  // Whether a `replace` search text matches case-sensitively.
  bool caseSensitive = true;
  // In user-perceived characters. A limit below 1 cuts nothing: a name is never emptied.
  std::optional<std::int64_t> maxLength;
  std::optional<CaseFormat> caseFormat;

  foundation::Result<std::string> apply(std::string_view currentName) const override;

 private:
  // Shared by copies, which is harmless: it is keyed by pattern and options.
  std::shared_ptr<PatternCache> compiled_ = std::make_shared<PatternCache>();
};

}  // namespace ml::rename
