#pragma once
// The rename dialog's events: one per control, fired on the dialog's own store.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/store/Event.h"
#include "rename/dialog/ChangeMode.h"
#include "rename/rules/CaseFormat.h"
#include "rename/rules/MatchLocation.h"
#include "rename/rules/ReplacementMode.h"

namespace ml::rename {

struct NameChangeModeUpdated : store::Event {
  explicit NameChangeModeUpdated(ChangeMode m) : mode(m) {}
  ChangeMode mode;
};

struct PatternUpdated : store::Event {
  explicit PatternUpdated(std::string v) : value(std::move(v)) {}
  std::string value;
};

// Absent when the field was emptied.
struct ReplacementValueUpdated : store::Event {
  explicit ReplacementValueUpdated(std::optional<std::string> v) : value(std::move(v)) {}
  std::optional<std::string> value;
};

struct ReplacementModeChanged : store::Event {
  explicit ReplacementModeChanged(ReplacementMode m) : mode(m) {}
  ReplacementMode mode;
};

struct MatchLocationsChanged : store::Event {
  explicit MatchLocationsChanged(MatchLocation l) : locations(l) {}
  MatchLocation locations;
};

struct PrefixChanged : store::Event {
  PrefixChanged(bool e, std::string p) : enabled(e), prefix(std::move(p)) {}
  bool enabled;
  std::string prefix;
};

struct SuffixChanged : store::Event {
  SuffixChanged(bool e, std::string s) : enabled(e), suffix(std::move(s)) {}
  bool enabled;
  std::string suffix;
};

struct TrimNameToggled : store::Event {
  explicit TrimNameToggled(bool e) : enabled(e) {}
  bool enabled;
};

// Absent when the field was emptied (which turns the limit off).
struct MaxNameLengthUpdated : store::Event {
  explicit MaxNameLengthUpdated(std::optional<std::int64_t> m) : maxLength(m) {}
  std::optional<std::int64_t> maxLength;
};

struct CaseFormatChanged : store::Event {
  explicit CaseFormatChanged(std::optional<CaseFormat> f) : format(f) {}
  std::optional<CaseFormat> format;
};

struct CaseSensitivityToggled : store::Event {
  explicit CaseSensitivityToggled(bool e) : enabled(e) {}
  bool enabled;
};

struct ExtensionPreservationChanged : store::Event {
  explicit ExtensionPreservationChanged(bool p) : preserveExtension(p) {}
  bool preserveExtension;
};

}  // namespace ml::rename
