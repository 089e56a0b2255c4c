#pragma once
// Files of the telemetry client, all under one client folder:
//   <data folder of the application>/<kTLReverseDomainPrefix>/
// (the data folder is $XDG_DATA_HOME/<app id>, read at each call). The folder is created on first
// use and carries a CACHEDIR.TAG, the Linux marker that keeps backup tools out of it.
//
// Path components are relative paths below the client folder; an absolute component or one with
// a ".." step is refused (it would reach outside the folder). The methods that create, write,
// read or delete serialise on one class-wide lock; the rest take no lock. Failures are logged
// under the core's tag and answered as nothing / false, never thrown.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace ml::beacon {

class TLUtilityFile {
 public:
  TLUtilityFile() = delete;
  using Data = std::vector<std::uint8_t>;

  // The client folder, created (with CACHEDIR.TAG) when missing.
  static std::filesystem::path clientDirectoryURL();

  // Without forceOverwrite an existing file is left alone and its path answered: "the file is
  // there", not "the data was written" (data that must reach the disk under a name of its own goes
  // through createNewFileAtPathComponent). Otherwise the parent folder is created and the data
  // (empty when none) written, atomically when asked. Every file written is left with mode 0600.
  // A failed write logs "Couldn't create new file at path <path>" and answers nothing.
  static std::optional<std::filesystem::path> createFileAtPathComponent(std::string_view component,
                                                                       std::optional<std::span<const std::uint8_t>> data,
                                                                       bool atomically, bool forceOverwrite);
  // Writes `data` under a name that nothing holds yet: into a temporary file beside it, which then
  // takes the name only if it is still free (no check-then-write race with another process), so
  // the file is complete under its name or absent. An existing name is `nameTaken`, never success.
  struct NewFile {
    enum class Status { created, nameTaken, failed };
    Status status = Status::failed;
    std::filesystem::path url;  // where the file is (or would have been)
  };
  static NewFile createNewFileAtPathComponent(std::string_view component, std::span<const std::uint8_t> data);
  // Removes the file or whole folder; false (debug line) when it could not be removed.
  static bool deleteItemForPathComponent(std::string_view component);
  static bool deleteFileAtURL(const std::filesystem::path& url);
  static std::optional<std::filesystem::path> createDirectoryForPathComponent(std::string_view component);
  static std::optional<Data> loadDataForPathComponent(std::string_view component);
  // The entries of a folder under the client folder (no recursion, directory order); nothing for
  // an empty name or a folder that cannot be listed (debug line).
  static std::optional<std::vector<std::filesystem::path>> contentsOfDirectory(std::string_view component);
  static bool fileExistsForPathComponent(std::string_view component);
  // The path under the client folder, without touching the file system; nothing for a component
  // that would leave the folder.
  static std::optional<std::filesystem::path> fullURLForPathComponent(std::string_view component);
  // Creates the folder with its parents, then marks it as excluded from backups.
  static bool createDirectoryAtURL(const std::filesystem::path& url);
  // Writes CACHEDIR.TAG into the folder unless one is there.
  static bool disableBackupForDirectoryURL(const std::filesystem::path& url);

  static constexpr std::string_view kCacheDirTagName = "CACHEDIR.TAG";
  // What the temporary files of atomic writes carry after the target's name ("<name>.tmp-XXXXXX").
  static constexpr std::string_view kTemporaryMarker = ".tmp-";
};

}  // namespace ml::beacon
