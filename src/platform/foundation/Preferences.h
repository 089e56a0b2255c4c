#pragma once
// A typed preferences store kept in one property-list file (binary, or XML when the file already
// was XML). The application's store is Preferences::standard(): "<app id>.plist" in
// AppFolders::config(), shared by the application and the telemetry client.
//
// Reads come from memory. Each change is written at once, atomically: a temporary file beside the
// real one is written, synced and renamed over it, so a crash leaves the old file or the new one,
// never a torn one. A file that cannot be read or parsed is set aside as
// "<name>.corrupt-<UTC timestamp>" (kept for inspection, never overwritten), an error is logged, and
// the store starts from defaults. A write that fails is logged and keeps the value in memory.
//
// Thread-safe: any thread may read and write at any time. Two processes writing one file are not
// coordinated: the last writer wins.
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/PlistValue.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Result.h"

namespace ml::foundation {

class Preferences {
 public:
  // The store of the application's preferences file under the current $XDG_CONFIG_HOME. The
  // reference stays valid for the life of the process; a different config folder (tests) gets a
  // store of its own.
  static Preferences& standard();
  static std::filesystem::path standardFile();

  // Loads `file` now (missing is fine: an empty store). New files are written in `format`.
  explicit Preferences(std::filesystem::path file, PropertyList::Format format = PropertyList::Format::binary);
  Preferences(const Preferences&) = delete;
  Preferences& operator=(const Preferences&) = delete;

  // Typed reads; nothing when the key is absent or holds a value of another kind. Numbers convert
  // between integer and real, and booleans read from integers (non-zero) and from the strings
  // "YES"/"true"/"1" and "NO"/"false"/"0" as they do in other property-list stores.
  std::optional<std::string> string(std::string_view key) const;
  std::optional<std::int64_t> integer(std::string_view key) const;
  std::optional<double> real(std::string_view key) const;
  std::optional<bool> boolean(std::string_view key) const;
  std::optional<PlistValue::Date> date(std::string_view key) const;
  std::optional<PlistValue::Data> data(std::string_view key) const;
  std::optional<PlistValue::Array> array(std::string_view key) const;
  std::optional<PlistValue::Dictionary> dictionary(std::string_view key) const;
  std::optional<PlistValue> object(std::string_view key) const;

  // Sets or removes one key and writes the file. A failed write is logged; save() reports it.
  void set(std::string_view key, PlistValue value);
  void remove(std::string_view key);
  // Writes the current values now and reports the outcome.
  Status save();

  PlistValue::Dictionary values() const;
  const std::filesystem::path& file() const { return file_; }
  // Where the unreadable file found at load was set aside, if any.
  std::optional<std::filesystem::path> setAsideFile() const;

 private:
  void load();
  Status writeLocked();

  const std::filesystem::path file_;
  mutable std::mutex mutex_;
  PlistValue::Dictionary values_;
  PropertyList::Format format_;
  std::optional<std::filesystem::path> setAside_;
};

}  // namespace ml::foundation
