#pragma once
// The preference keys the preferences window reads and writes, and the usage event it sends.
// The drop and launch code reads the same keys by these spellings.
namespace ml::shell {

inline constexpr const char* kStartupActionKey = "startupAction";  // string, a StartupAction raw value
inline constexpr const char* kDropActionKey = "dropAction";        // string, a DropAction raw value
inline constexpr const char* kDebugLogsKey = "debugLogs";          // boolean
inline constexpr const char* kDropKeysKey = "dropkeys";            // data, the "dropkeys" JSON

// Tracked when the drop-key bindings could not be stored.
inline constexpr const char* kDropKeySaveFailureEvent = "dropkey-save-failure";

}  // namespace ml::shell
