#include "files/UsersAndGroups.h"

#include "files/Collections.h"
#include "platform/darwin/LocalDirectory.h"
#include "platform/logging/Log.h"

namespace ml::files {

std::vector<std::string> withoutUnderscoreNames(const std::vector<std::string>& names, const char* logPrefix) {
  const auto seen = peek(names, [logPrefix](const std::string& name) { LOG_VERBOSE(logPrefix << name << "]"); });
  std::vector<std::string> kept;
  for (const auto& name : seen)
    if (!name.starts_with("_")) kept.push_back(name);
  return kept;
}

std::optional<std::vector<std::string>> allUsers() {
  auto names = darwin::userRecordNames();
  if (!names) {
    LOG_ERROR("failed to read OpenDirectory for users. error=[" << names.error().description() << "]");
    return std::nullopt;
  }
  return withoutUnderscoreNames(names.value(), "filtering username. name=[");
}

std::optional<std::vector<std::string>> allGroups() {
  auto names = darwin::groupRecordNames();
  if (!names) {
    LOG_ERROR("failed to read OpenDirectory for groups. error=[" << names.error().description() << "]");
    return std::nullopt;
  }
  return withoutUnderscoreNames(names.value(), "filtering group name. name=[");
}

}  // namespace ml::files
