#include "beacon/core/Context/TLSystemInfo.h"

#include <sys/utsname.h>

#include <cctype>
#include <ctime>
#include <cstdlib>
#include <fstream>

#include "beacon/core/Context/TLOsRelease.h"

namespace ml::beacon {

namespace {

std::string trimmed(std::string text) {
  auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
  while (!text.empty() && isSpace(static_cast<unsigned char>(text.back()))) text.pop_back();
  std::size_t start = 0;
  while (start < text.size() && isSpace(static_cast<unsigned char>(text[start]))) ++start;
  return text.substr(start);
}

std::optional<std::string> nonEmpty(std::optional<std::string> value) {
  if (value && value->empty()) return std::nullopt;
  return value;
}

bool allOf(std::string_view text, int (*predicate)(int)) {
  for (unsigned char c : text) {
    if (!predicate(c)) return false;
  }
  return true;
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string upper(std::string_view text) {
  std::string out(text);
  for (auto& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::optional<std::string> TLSystemInfo::dmiValue(std::string_view name) const {
  std::error_code ec;
  std::filesystem::path file = sources_.dmiFolder / std::string(name);
  if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  return nonEmpty(trimmed(line.substr(0, 256)));
}

std::optional<std::string> TLSystemInfo::hardwareModel() const { return dmiValue("product_name"); }

std::optional<std::string> TLSystemInfo::hardwareVendor() const { return dmiValue("sys_vendor"); }

std::string TLSystemInfo::osName() const {
  if (auto release = TLOsRelease::load(sources_.osReleaseFile, sources_.osReleaseFallbackFile)) {
    for (const char* key : {"NAME", "ID"}) {
      auto found = release->find(key);
      if (found != release->end() && !found->second.empty()) return found->second;
    }
  }
  return "Linux";
}

std::optional<std::string> TLSystemInfo::osVersion() const {
  if (auto release = TLOsRelease::load(sources_.osReleaseFile, sources_.osReleaseFallbackFile)) {
    auto found = release->find("VERSION_ID");
    if (found != release->end() && !found->second.empty()) return found->second;
  }
  // Rolling distributions carry no VERSION_ID; the kernel's version stands in.
  auto build = osBuild();
  return build ? leadingVersion(*build) : std::nullopt;
}

std::optional<std::string> TLSystemInfo::osBuild() const {
  utsname names{};
  if (::uname(&names) != 0) return std::nullopt;
  return nonEmpty(std::string(names.release));
}

std::optional<std::string> TLSystemInfo::leadingVersion(std::string_view release) {
  std::size_t end = 0;
  while (end < release.size() && (std::isdigit(static_cast<unsigned char>(release[end])) || release[end] == '.')) ++end;
  while (end > 0 && release[end - 1] == '.') --end;
  if (end == 0) return std::nullopt;
  return std::string(release.substr(0, end));
}

std::string TLSystemInfo::localeIdentifier() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return localeIdentifierFromPosixName(value);
  }
  return localeIdentifierFromPosixName("C");
}

std::string TLSystemInfo::localeIdentifierFromPosixName(std::string_view name) {
  static constexpr std::string_view kFallback = "en_US";
  std::string_view modifier;
  if (auto at = name.find('@'); at != std::string_view::npos) {
    modifier = name.substr(at + 1);
    name = name.substr(0, at);
  }
  if (auto dot = name.find('.'); dot != std::string_view::npos) name = name.substr(0, dot);

  std::string_view language = name;
  std::string_view country;
  if (auto underscore = name.find('_'); underscore != std::string_view::npos) {
    language = name.substr(0, underscore);
    country = name.substr(underscore + 1);
  }
  if (language.size() < 2 || language.size() > 3 || !allOf(language, std::isalpha)) return std::string(kFallback);
  bool countryValid = (country.size() == 2 && allOf(country, std::isalpha)) ||
                      (country.size() == 3 && allOf(country, std::isdigit));

  std::string identifier = lower(language);
  // glibc names a script by a modifier word.
  std::string script = lower(modifier);
  if (script == "latin") identifier += "-Latn";
  else if (script == "cyrillic") identifier += "-Cyrl";
  else if (script == "devanagari") identifier += "-Deva";
  if (countryValid) identifier += "_" + upper(country);
  return identifier;
}

std::int64_t TLSystemInfo::timeZoneOffsetMinutes(std::chrono::system_clock::time_point when) {
  ::tzset();
  std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  if (!::localtime_r(&seconds, &local)) return 0;
  return static_cast<std::int64_t>(local.tm_gmtoff) / 60;  // integer division rounds toward zero
}

}  // namespace ml::beacon
