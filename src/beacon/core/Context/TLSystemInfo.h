#pragma once
// Linux facts for the device record (the stand-in for the system controls, the OS version query,
// the preferred-language and time-zone lookups of the original platform):
//   model          DMI product name      (/sys/class/dmi/id/product_name)
//   maker          DMI system vendor     (/sys/class/dmi/id/sys_vendor)
//   OS name        os-release NAME, else ID, else "Linux"
//   OS version     os-release VERSION_ID, else the leading numbers of the kernel release
//   OS build       the kernel release    (uname)
//   locale         the POSIX locale of messages (LC_ALL, LC_MESSAGES, LANG: the names the
//                  process's default locale comes from), as "ll[-Scri]_CC"
//   time zone      the local offset from UTC in minutes, rounded toward zero
// Each reader answers nothing when its source is missing or empty. Thread-safe (reads only);
// the time zone reader calls tzset.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ml::beacon {

// Where the facts are read from; tests point these at fixture files.
struct TLSystemInfoSources {
  std::filesystem::path dmiFolder = "/sys/class/dmi/id";
  std::filesystem::path osReleaseFile = "/etc/os-release";
  std::filesystem::path osReleaseFallbackFile = "/usr/lib/os-release";
};

class TLSystemInfo {
 public:
  explicit TLSystemInfo(TLSystemInfoSources sources = {}) : sources_(std::move(sources)) {}

  std::optional<std::string> hardwareModel() const;
  std::optional<std::string> hardwareVendor() const;
  std::string osName() const;
  std::optional<std::string> osVersion() const;
  std::optional<std::string> osBuild() const;

  // The locale of this process's messages.
  static std::string localeIdentifier();
  // "ll[-Scri]_CC" of a POSIX locale name ("sr_RS.UTF-8@latin" -> "sr-Latn_RS"); "C", "POSIX"
  // and names that are not locales read as en_US, the locale C stands for. Without a country
  // the identifier is the language alone.
  static std::string localeIdentifierFromPosixName(std::string_view name);
  // Minutes east of UTC of the local time zone at `when`.
  static std::int64_t timeZoneOffsetMinutes(std::chrono::system_clock::time_point when);
  // "1.2.3" of a kernel release "1.2.3-18-amd64"; nothing without a leading number.
  static std::optional<std::string> leadingVersion(std::string_view release);

 private:
  std::optional<std::string> dmiValue(std::string_view name) const;

  TLSystemInfoSources sources_;
};

}  // namespace ml::beacon
