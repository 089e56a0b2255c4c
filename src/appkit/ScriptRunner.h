#pragma once
// Runs a script given as its exact source text, the way the application asks the desktop's file
// manager for things (emptying the Trash, information windows, relaunching). A runner either
// carries out a script it knows or answers an error saying it cannot.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace ml::appkit {

// What a script answered: nothing, a number or a text.
using ScriptValue = std::variant<std::monostate, std::int64_t, std::string>;

struct ScriptError {
  int number = 0;
  std::string message;

  // "{message = "<message>"; number = <number>}"
  std::string description() const;
  friend bool operator==(const ScriptError&, const ScriptError&) = default;
};

struct ScriptOutcome {
  // False when the text could not be made into a script (nothing ran).
  bool created = true;
  // The script's answer; absent when it failed.
  std::optional<ScriptValue> result;
  std::optional<ScriptError> error;

  static ScriptOutcome answered(ScriptValue value) { return ScriptOutcome{true, std::move(value), std::nullopt}; }
  static ScriptOutcome failed(ScriptError error) { return ScriptOutcome{true, std::nullopt, std::move(error)}; }
};

// Error numbers a runner answers.
inline constexpr int kScriptNotUnderstood = -1708;  // the desktop cannot do what the script asks
inline constexpr int kScriptExecutionFailed = -10000;

class ScriptRunner {
 public:
  virtual ~ScriptRunner() = default;
  // Runs `source` to its end. May block (a confirmation, a relaunch). Thread affinity: any thread
  // unless the runner says otherwise.
  virtual ScriptOutcome run(const std::string& source) = 0;
};

}  // namespace ml::appkit
